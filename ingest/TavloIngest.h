#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <variant>

#include "model/TavloStore.h"
#include "model/TavloUrl.h"

class QMimeData;

// Turns dropped and pasted content into items on the active tavlo.
//
// A drop or paste copies what it needs out of the QMimeData at once, converts it on a worker
// thread (text decoding, link detection, RTF and HTML reading, the store's text preparation,
// writing image clippings) and hands the results back to the GUI thread, where each item
// becomes one store call. Calls are
// fed to the store in slices of a few milliseconds so large drops never stall the panel.
// Items therefore appear some time after handleDrop() or pasteFromClipboard() return.
class TavloIngest : public QObject
{
    Q_OBJECT

public:
    // `store` must outlive this object.
    explicit TavloIngest(TavloStore &store, QObject *parent = nullptr);
    // Does not wait for conversions in flight: they finish (or end with the process) unseen.
    ~TavloIngest() override;

    // The formats a drop target should accept, and whether `data` offers any of them.
    static QStringList acceptedFormats();
    static bool canAccept(const QMimeData *data);

    // Starts adding what `data` carries. True when something in it was taken (also when its
    // content later turns out unreadable), false when it offers nothing this accepts.
    bool handleDrop(const QMimeData *data);
    // The "Paste" command: adds what the clipboard holds.
    void pasteFromClipboard();
    // The same for clipboard content read some other way (see `pasteFormats`).
    void pasteFromMimeData(const QMimeData &data);
    // Whether "Paste" has anything to work on.
    bool canPaste() const;
    static bool canPaste(const QStringList &formats);
    // The formats a paste reads, in the order it prefers them.
    static QStringList pasteFormats();

    // No conversion in flight and no store call waiting.
    bool isIdle() const;

    struct AddFile
    {
        TavloUrl url;
    };
    struct AddUrl
    {
        TavloUrl url;
    };
    // Text, RTF and HTML, made ready for the store on the worker.
    struct AddText
    {
        TavloStore::PreparedText prepared;
    };
    // Content that is not taken, with the reason to show.
    struct Refuse
    {
        QString message;
    };
    using Call = std::variant<AddFile, AddUrl, AddText, Refuse>;

    // Larger texts (in the bytes offered, whatever their format) are refused.
    static constexpr qsizetype maxTextBytes = 64 * 1024 * 1024;

    // What a drop of `data` (or a paste, with `paste`) hands to the store, worked out on the
    // calling thread: the conversion itself, for fuzzing and measuring.
    static QList<Call> convertNow(const QMimeData &data, bool paste);

Q_SIGNALS:
    // Everything started so far has reached the store.
    void idle();
    // Something offered was not taken; `message` says why, for the user.
    void refused(const QString &message);

private:
    template<typename Work>
    void submit(Work work);
    void deliver(quint64 ticket, QList<Call> calls);
    void drain();

    // Shared with the conversions, which may outlive this object.
    struct Link
    {
        QMutex mutex;
        TavloIngest *owner = nullptr;
    };

    TavloStore &m_store;
    std::shared_ptr<Link> m_link;
    QThreadPool *m_pool = nullptr;
    QTimer m_drainTimer;
    std::deque<Call> m_pending;
    int m_jobsInFlight = 0;
    // Conversions finish in any order on the pool; their results join the queue in the order
    // the drops and pastes were made.
    quint64 m_submitted = 0;
    quint64 m_delivered = 0;
    std::map<quint64, QList<Call>> m_finished;
};
