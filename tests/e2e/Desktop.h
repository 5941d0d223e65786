#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// Xlib's Display and Window, without pulling Xlib's macros into every test.
struct _XDisplay;
using XWindow = unsigned long;

// A desktop of our own for driving the real quorvin binary: a private Xvfb display with openbox
// on it, real input through XTest, and the other X clients the tests need. Everything the
// application writes goes to the test's private HOME and XDG folders, emptied first.
class Desktop
{
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;

    // Starts the display and the window manager; an empty result means ready, otherwise why not.
    QString start();
    // Whether a display could be had at all (else the tests skip; everything else is a failure).
    bool hasXServer() const { return m_display != nullptr; }

    _XDisplay *display() const { return m_display; }
    QString homePath() const { return m_home; }
    QString configHome() const { return m_home + QStringLiteral("/config"); }
    QString dataHome() const { return m_home + QStringLiteral("/data"); }
    QString settingsPath() const { return configHome() + QStringLiteral("/Quorvin/Quorvin.conf"); }
    QString clippingsPath() const { return dataHome() + QStringLiteral("/Quorvin/Clippings"); }
    // For the processes started on this desktop: its display, xcb, the private folders.
    QProcessEnvironment environment() const;
    // Gives `process` that environment and ends it with the test, also when the test dies.
    void prepare(QProcess &process) const;

    // Managed windows of a process (openbox's client list), optionally only those with a title.
    XWindow findWindow(qint64 pid, const QString &title = {}) const;
    // Client area in root coordinates; null when the window is gone.
    QRect geometry(XWindow window) const;
    bool isViewable(XWindow window) const;
    XWindow clipboardOwner() const;
    // The client window that has the keyboard focus, or 0.
    XWindow inputFocus() const;

    // Real input: the pointer glides in steps so every client on the way sees it move.
    void moveTo(QPoint to);
    void glideTo(QPoint to, int steps = 12);
    void press(int button = 1);
    void release(int button = 1);
    void click(QPoint at, int button = 1);
    void tap(const char *keysym, const char *modifier = nullptr);
    // Types lower-case letters and digits.
    void type(const QString &text);

private:
    bool startProcess(QProcess &process, const QString &program, const QStringList &args);

    QTemporaryDir m_scratch;
    QString m_home;
    QString m_displayName;
    QProcess m_xvfb;
    QProcess m_windowManager;
    _XDisplay *m_display = nullptr;
    QPoint m_pointer;
};

// Polls `condition` while events are processed, for at most `ms`.
bool waitFor(const std::function<bool()> &condition, int ms = 5000);

// The quorvin binary on a Desktop.
class QuorvinProcess
{
public:
    explicit QuorvinProcess(Desktop &desktop) : m_desktop(desktop) { }
    ~QuorvinProcess();

    // Starts it and waits for its panel to be on screen; false on timeout.
    bool start();
    // SIGTERM, then waits for a clean exit; false when it did not exit with code 0.
    bool terminate();
    qint64 pid() const { return m_process.processId(); }
    XWindow panel() const { return m_panel; }
    QRect panelGeometry() const { return m_desktop.geometry(m_panel); }
    bool isVertical() const { return panelGeometry().height() > panelGeometry().width(); }

    // Centre of the tile of the item in `row`, worked out from the panel's fixed layout.
    QPoint tileCentre(int row) const;
    // A point on the card outside the header and the list, where the card's own menu opens. It
    // moves along the margin from call to call: two quick presses on one spot are a double click.
    QPoint cardMargin();
    // Horizontally the header sits lower while the empty-state invitation is shown.
    QPoint tavloMenuButton(bool tavloIsEmpty = false) const;
    QPoint dragStrip() const;

    // The application's popup menu that is open now, if any.
    XWindow openMenu() const;
    // Right-clicks `at` and waits for the menu to open.
    bool openContextMenu(QPoint at);
    // Clicks entry `index` of the open menu, below `separators` separator lines. The keyboard is
    // no way to a menu of a panel that never takes the focus: keys typed before the menu has
    // grabbed the keyboard go to the focused application.
    bool chooseInMenu(int index, int separators = 0);

private:
    Desktop &m_desktop;
    QProcess m_process;
    XWindow m_panel = 0;
    int m_marginStep = 0;
};

// Another X client of the tests (e2e_peer): a drag source or a drop target.
class Peer
{
public:
    Peer() = default;
    ~Peer();
    bool start(Desktop &desktop, const QStringList &args);
    // Waits for a line of the peer's report; every line is seen once.
    bool waitForLine(const QString &line, int ms = 10000);
    XWindow window() const { return m_window; }
    QRect geometry(Desktop &desktop) const { return desktop.geometry(m_window); }

private:
    bool takeLine(const QString &line);

    QProcess m_process;
    QStringList m_lines;
    XWindow m_window = 0;
};

// What the application has stored, read from its settings file.
struct StoredState
{
    QJsonArray items;
    QJsonArray tavlos;
    QString activeTavloID;
    QString orientation;
    QPoint position;
    bool hasPosition = false;

    static StoredState read(const Desktop &desktop);
    // The stored items of one tavlo, or of the active one, in display order.
    QJsonArray itemsOf(const QString &tavloID = {}) const;
};

QByteArray readBytes(const QString &path);
// Runs a short-lived program with arguments (never a shell) and returns its stdout.
QByteArray runProgram(const Desktop &desktop, const QString &program, const QStringList &args,
                      const QByteArray &input = {});
