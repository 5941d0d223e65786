// Another X client for the desktop tests: a drag source that starts a real XDND drag when it is
// pressed, or a drop target that records what a drop offers. It reports on stdout, one line each:
//   source: "started" as the drag begins, "accepted" when a target accepts it, then
//           "result <action>" when it is let go (the data is served until the peer is ended);
//   target: "over" when a drag hovers, "dropped" once the record is written;
//   editor: "text <text>" whenever its line changes, "escape" for an Escape key.
//
// e2e_peer source <title> <x> <y> file <path> | link <url> | rtf <path> | png <path> | gif <path>
// e2e_peer target <title> <x> <y> <record.json>
// e2e_peer editor <title> <x> <y> line
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace {

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What another application would offer when one of these is dragged out of it.
QMimeData *offer(const QString &kind, const QString &arg)
{
    auto *data = new QMimeData;
    if (kind == QLatin1String("file")) {
        data->setUrls({QUrl::fromLocalFile(arg)});
    } else if (kind == QLatin1String("link")) {
        data->setUrls({QUrl(arg)});
        data->setText(arg);
    } else if (kind == QLatin1String("rtf")) {
        data->setData(QStringLiteral("text/rtf"), readFile(arg));
    } else if (kind == QLatin1String("png") || kind == QLatin1String("gif")) {
        data->setData(QStringLiteral("image/") + kind, readFile(arg));
    }
    return data;
}

class PeerWindow : public QWidget
{
public:
    PeerWindow(QColor colour, QSize size) : m_colour(colour) { resize(size); }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

class Source : public PeerWindow
{
public:
    Source(QString kind, QString arg) : PeerWindow(Qt::darkCyan, {160, 120}), m_kind(kind), m_arg(arg) { }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *drag = new QDrag(this);
        drag->setMimeData(offer(m_kind, m_arg));
        QObject::connect(drag, &QDrag::actionChanged, drag, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction)
                say("accepted");
        });
        say("started");
        const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        // Stays: the target fetches the data after the drop, from this process.
        std::printf("result %d\n", int(result));
        std::fflush(stdout);
    }

private:
    QString m_kind;
    QString m_arg;
};

class Target : public PeerWindow
{
public:
    explicit Target(QString record) : PeerWindow(Qt::darkYellow, {300, 200}), m_record(record)
    {
        setAcceptDrops(true);
    }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent *event) override
    {
        event->acceptProposedAction();
        say("over");
    }
    void dropEvent(QDropEvent *event) override
    {
        // Formats in the order the source offered them, each with its bytes.
        QJsonArray formats;
        QJsonObject data;
        const QMimeData *mime = event->mimeData();
        for (const QString &format : mime->formats()) {
            formats.append(format);
            data.insert(format, QString::fromLatin1(mime->data(format).toBase64()));
        }
        event->acceptProposedAction();
        QSaveFile file(m_record);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QJsonDocument(QJsonObject {{"formats", formats}, {"data", data}}).toJson());
            file.commit();
        }
        // Reported once the drop is finished, so the source is done with it before the next drag.
        QTimer::singleShot(0, this, [] { say("dropped"); });
    }

private:
    QString m_record;
};

// A text line of another application, to see where typed keys go.
class Editor : public QLineEdit
{
public:
    Editor()
    {
        setFixedSize(300, 60);
        connect(this, &QLineEdit::textChanged, this,
                [](const QString &text) { say(("text " + text).toUtf8().constData()); });
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape)
            say("escape");
        QLineEdit::keyPressEvent(event);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 6)
        return 2;
    std::unique_ptr<QWidget> window;
    if (args.at(1) == QLatin1String("source") && args.size() >= 7)
        window = std::make_unique<Source>(args.at(5), args.at(6));
    else if (args.at(1) == QLatin1String("target"))
        window = std::make_unique<Target>(args.at(5));
    else if (args.at(1) == QLatin1String("editor"))
        window = std::make_unique<Editor>();
    else
        return 2;
    window->setWindowTitle(args.at(2));
    window->move(args.at(3).toInt(), args.at(4).toInt());
    window->show();
    return app.exec();
}
