#pragma once

#include <QFrame>
#include <QPointer>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class SnippetSaveModel;

// The "Save Snippet As" popup under the Save As… button. It shows the model's state and turns
// clicks into model calls; the folder chooser is opened by whoever handles chooseFolderRequested.
class SnippetSavePopover : public QFrame
{
    Q_OBJECT

public:
    SnippetSavePopover(SnippetSaveModel *model, QWidget *parent);

    // Places the popup below `anchor` and shows it.
    void showBelow(QWidget *anchor);
    // Brings every control in line with the model.
    void sync();

    QLineEdit *filenameField() const { return m_filename; }
    QLabel *folderLabel() const { return m_folder; }
    QLabel *statusLabel() const { return m_status; }
    QButtonGroup *destinationGroup() const { return m_destinations; }
    QPushButton *chooseFolderButton() const { return m_chooseFolder; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *replaceButton() const { return m_replace; }
    QWidget *confirmationRow() const { return m_confirmation; }
    QWidget *actionRow() const { return m_actions; }

Q_SIGNALS:
    void chooseFolderRequested();

protected:
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateFolderText();

    SnippetSaveModel *m_model;
    QLabel *m_folder = nullptr;
    QString m_folderPath;
    QPushButton *m_chooseFolder = nullptr;
    QButtonGroup *m_destinations = nullptr;
    QLineEdit *m_filename = nullptr;
    QWidget *m_confirmation = nullptr;
    QLabel *m_existsLabel = nullptr;
    QPushButton *m_replace = nullptr;
    QWidget *m_actions = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_save = nullptr;
    bool m_syncing = false;
};
