#pragma once

#include <QIcon>
#include <QUrl>
#include <QWidget>

class QLabel;
class QPushButton;

// The About card: the application's icon, name, version and description, and who makes it.
class AboutCardView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cardWidth = 360;
    static constexpr int cardHeight = 330;

    explicit AboutCardView(QWidget *parent = nullptr);

    // "Version " and the application's version, "1.0" when it has none.
    static QString versionString();
    static QString descriptionText();
    static QString creditText();
    static QString noticeText();
    // The project's homepage; empty unless it is a secure web address.
    static QUrl projectPage();
    // The installed theme's icon, else the one built into the binary.
    static QIcon applicationIcon();

    QLabel *versionLabel() const { return m_version; }
    QPushButton *linkButton() const { return m_link; }

private:
    QLabel *m_version = nullptr;
    QPushButton *m_link = nullptr;
};
