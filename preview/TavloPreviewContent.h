#pragma once

#include <QWidget>

#include <functional>

#include "model/TavloItem.h"

class QPushButton;
class LargePreviewLoader;

// What the preview window shows for one item: the content area for its kind above a footer with
// the kind's symbol, the title, a hint and "Open". Built anew for every preview.
class TavloPreviewContent : public QWidget
{
    Q_OBJECT

public:
    enum class Area { text, unavailableFile, folder, largeFile, link };

    TavloPreviewContent(const TavloItem &item, std::function<void()> onOpen, QWidget *parent = nullptr,
                        LargePreviewLoader *loader = nullptr);

    const TavloItem &item() const { return m_item; }
    Area area() const { return m_area; }
    QWidget *areaWidget() const { return m_areaWidget; }
    QPushButton *openButton() const { return m_openButton; }
    QString footerTitleText() const;
    QString hintText() const;

    // Decisions of the card, as pure functions of the item and the file's state.
    static Area areaFor(const TavloItem &item);
    static QString footerTitle(const TavloItem &item);
    static QString footerSymbolName(const TavloItem &item);
    static QString hint(const TavloItem &item);
    static bool canOpen(const TavloItem &item);
    // The link card's heading: the title, else the host, else "Web Link".
    static QString linkTitle(const UrlItemKind &link);
    // The last path component, as a file manager names the file (a trailing slash is ignored).
    static QString lastPathComponent(const QString &path);

Q_SIGNALS:
    // "Open" was pressed: the window closes before the item opens.
    void closeRequested();

private:
    QWidget *buildArea(LargePreviewLoader *loader);
    QWidget *buildFooter();
    void open();
    void refreshAvailability();

    TavloItem m_item;
    std::function<void()> m_onOpen;
    Area m_area;
    QWidget *m_areaWidget = nullptr;
    class ElidedLabel *m_footerTitle = nullptr;
    class QLabel *m_hint = nullptr;
    QPushButton *m_openButton = nullptr;
};
