#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// One download of a video thumbnail: https only, no cookies, a byte cap and a time limit. Emits
// finished() once, on the GUI thread; deleting the object cancels the download quietly.
class VideoThumbnailDownload : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxBodyBytes = 4 * 1024 * 1024;
    static constexpr int maxDecodedPixels = 1024;

    explicit VideoThumbnailDownload(const QUrl &url, QObject *parent = nullptr);
    ~VideoThumbnailDownload() override;

    // The network access of every later download; null restores the default. Tests set a fake.
    static void setNetworkAccessManager(QNetworkAccessManager *manager);
    // Total time a download may take, in milliseconds.
    static void setTimeLimit(int milliseconds);

    QUrl url() const { return m_url; }

Q_SIGNALS:
    // `image` is null when the download or decoding failed.
    void finished(const QImage &image);

private:
    void start();
    void fail();
    void onReadyRead();
    void onReplyFinished();

    QUrl m_url;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    QTimer m_deadline;
    bool m_done = false;
};
