#include "thumbnails/VideoThumbnailDownload.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtConcurrent/QtConcurrentRun>

#include "thumbnails/PictureFunctions.h"

namespace {

QPointer<QNetworkAccessManager> customManager;
int timeLimitMs = 15000;

QNetworkAccessManager *networkAccessManager()
{
    if (customManager)
        return customManager;
    static QNetworkAccessManager *manager = [] {
        auto *m = new QNetworkAccessManager;
        m->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        return m;
    }();
    return manager;
}

} // namespace

VideoThumbnailDownload::VideoThumbnailDownload(const QUrl &url, QObject *parent) : QObject(parent), m_url(url)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &VideoThumbnailDownload::fail);
    // Started from the event loop so that a caller can connect to finished() first.
    QMetaObject::invokeMethod(this, &VideoThumbnailDownload::start, Qt::QueuedConnection);
}

VideoThumbnailDownload::~VideoThumbnailDownload()
{
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void VideoThumbnailDownload::setNetworkAccessManager(QNetworkAccessManager *manager)
{
    customManager = manager;
}

void VideoThumbnailDownload::setTimeLimit(int milliseconds)
{
    timeLimitMs = std::max(1, milliseconds);
}

void VideoThumbnailDownload::start()
{
    if (m_url.scheme() != QStringLiteral("https") || m_url.host().isEmpty()) {
        fail();
        return;
    }
    QNetworkRequest request(m_url);
    request.setTransferTimeout(timeLimitMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    m_reply = networkAccessManager()->get(request);
    if (!m_reply) {
        fail();
        return;
    }
    m_deadline.start(timeLimitMs);
    connect(m_reply, &QNetworkReply::readyRead, this, &VideoThumbnailDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &VideoThumbnailDownload::onReplyFinished);
}

void VideoThumbnailDownload::fail()
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    Q_EMIT finished(QImage());
}

void VideoThumbnailDownload::onReadyRead()
{
    if (m_done || !m_reply)
        return;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maxBodyBytes) {
        fail();
        return;
    }
    m_body += m_reply->read(maxBodyBytes + 1 - m_body.size());
    if (m_body.size() > maxBodyBytes)
        fail();
}

void VideoThumbnailDownload::onReplyFinished()
{
    if (m_done || !m_reply)
        return;
    onReadyRead();
    if (m_done)
        return;
    const QNetworkReply::NetworkError error = m_reply->error();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    m_reply->deleteLater();
    m_reply = nullptr;
    if (error != QNetworkReply::NoError
        || (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))) {
        fail();
        return;
    }
    m_deadline.stop();
    // Decoding is real work; keep it off the GUI thread.
    auto *watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher] {
        const QImage image = watcher->result();
        watcher->deleteLater();
        if (m_done)
            return;
        m_done = true;
        Q_EMIT finished(image);
    });
    watcher->setFuture(
        QtConcurrent::run([body = std::move(m_body)] { return downsampledImage(body, maxDecodedPixels); }));
}
