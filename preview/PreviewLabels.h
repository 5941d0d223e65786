#pragma once

#include <QLabel>
#include <QTextEdit>

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
