#pragma once

#include <QBuffer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

// A network that never leaves the process: every request is answered by a FakeReply built from
// the current `next` answer, and the requested URLs are recorded.
struct FakeAnswer
{
    int status = 200;
    QByteArray body;
    bool endless = false; // keeps sending chunks until aborted
    bool silent = false; // never answers
};

class FakeReply : public QNetworkReply
{
public:
    FakeReply(const QNetworkRequest &request, const FakeAnswer &answer, QObject *parent)
        : QNetworkReply(parent), m_answer(answer)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(QNetworkAccessManager::GetOperation);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        if (m_answer.silent)
            return;
        QTimer::singleShot(0, this, [this] {
            setAttribute(QNetworkRequest::HttpStatusCodeAttribute, m_answer.status);
            if (!m_answer.endless)
                setHeader(QNetworkRequest::ContentLengthHeader, m_answer.body.size());
            Q_EMIT metaDataChanged();
            if (m_answer.endless) {
                m_chunks.setInterval(1);
                connect(&m_chunks, &QTimer::timeout, this, [this] {
                    m_buffer += QByteArray(64 * 1024, 'x');
                    Q_EMIT readyRead();
                });
                m_chunks.start();
                return;
            }
            m_buffer = m_answer.body;
            if (m_answer.status >= 400)
                setError(QNetworkReply::ContentNotFoundError,
                         QStringLiteral("status %1").arg(m_answer.status));
            if (!m_buffer.isEmpty())
                Q_EMIT readyRead();
            finish();
        });
    }

    void abort() override
    {
        m_chunks.stop();
        if (isFinished())
            return;
        setError(QNetworkReply::OperationCanceledError, QStringLiteral("aborted"));
        finish();
    }
    qint64 bytesAvailable() const override { return m_buffer.size() + QNetworkReply::bytesAvailable(); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, m_buffer.size());
        memcpy(data, m_buffer.constData(), size_t(n));
        m_buffer.remove(0, n);
        return n;
    }

private:
    void finish()
    {
        setFinished(true);
        Q_EMIT finished();
    }

    FakeAnswer m_answer;
    QByteArray m_buffer;
    QTimer m_chunks;
};

class FakeNetwork : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;
    FakeAnswer next;
    QList<QUrl> requested;
    QList<QNetworkRequest> requests;

protected:
    QNetworkReply *createRequest(Operation, const QNetworkRequest &request, QIODevice *) override
    {
        requested.append(request.url());
        requests.append(request);
        return new FakeReply(request, next, this);
    }
};

// A small JPEG picture, as a video thumbnail server would send it.
inline QByteArray jpegBytes(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg");
    return bytes;
}
