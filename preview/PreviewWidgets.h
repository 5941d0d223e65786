#pragma once

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QTextEdit>

// Small building blocks shared by the preview and About cards.
namespace PreviewStyle {

// A system font of `pixelSize` logical pixels and the given weight.
QFont systemFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(qreal pixelSize);
// The caption font: the system font at ten pixels.
QFont captionFont();

// Text colours of decreasing emphasis, derived from the palette's window text.
QColor secondaryColor(const QPalette &palette);
QColor tertiaryColor(const QPalette &palette);
void setTextColor(QWidget *widget, const QColor &color);

// A label showing the app's symbol of that name ("doc", "link", "folder", ...) in `color`, the
// secondary text colour when none is given.
QLabel *symbolLabel(const QString &symbolName, int pixelSize, const QColor &color = {});

} // namespace PreviewStyle

// A one-line label that elides its text in the middle to fit its width.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);
    QString fullText() const { return m_fullText; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateElision();
    QString m_fullText;
};

// Read-only text the user can select and copy, centred and wrapped anywhere (paths have no spaces),
// as tall as its content.
class SelectableText : public QTextEdit
{
    Q_OBJECT

public:
    SelectableText(const QString &text, const QFont &font, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitHeight();
};
