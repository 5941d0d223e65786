#pragma once

#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <map>
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
// Items therefore appear some time after handleDrop() or pasteFromPasteboard() return.
class TavloIngest : public QObject
{
    Q_OBJECT

public:
    // `store` must outlive this object.
    explicit TavloIngest(TavloStore &store, QObject *parent = nullptr);
    // Waits for conversions in flight; their results are dropped.
    ~TavloIngest() override;

    // The formats a drop target should accept, and whether `data` offers any of them.
    static QStringList acceptedFormats();
    static bool canAccept(const QMimeData *data);

    // Starts adding what `data` carries. True when something in it was taken (also when its
    // content later turns out unreadable), false when it offers nothing this accepts.
    bool handleDrop(const QMimeData *data);
    // The "Paste" command: adds what the clipboard holds.
    void pasteFromPasteboard();
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
    using Call = std::variant<AddFile, AddUrl, AddText>;

Q_SIGNALS:
    // Everything started so far has reached the store.
    void idle();

private:
    template<typename Work>
    void submit(Work work);
    void deliver(quint64 ticket, QList<Call> calls);
    void drain();

    TavloStore &m_store;
    QThreadPool m_pool;
    QTimer m_drainTimer;
    std::deque<Call> m_pending;
    int m_jobsInFlight = 0;
    // Conversions finish in any order on the pool; their results join the queue in the order
    // the drops and pastes were made.
    quint64 m_submitted = 0;
    quint64 m_delivered = 0;
    std::map<quint64, QList<Call>> m_finished;
};
