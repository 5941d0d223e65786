#include "snippets/TextSnippetDetailView.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include "richtext/Rtf.h"
#include "snippets/RichTextEditor.h"
#include "snippets/SaveDestination.h"
#include "snippets/SavedToast.h"
#include "snippets/SnippetSaveModel.h"
#include "snippets/SnippetSavePopover.h"

TextSnippetDetailView::TextSnippetDetailView(const RichTextPayload &payload,
                                             std::function<void(const RichText &)> onChange, QWidget *parent,
                                             Settings *settings)
    : QWidget(parent), m_onChange(std::move(onChange)), m_currentPlainText(payload.plainText),
      m_currentRTFData(payload.rtfData)
{
    setMinimumSize(620, 420);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("snippetHeader"));
    header->setFixedHeight(88);
    header->setAutoFillBackground(true);
    header->setBackgroundRole(QPalette::Window);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(18, 0, 18, 0);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addStretch(1);
    auto *title = new QLabel(QStringLiteral("Text Snippet"), header);
    QFont titleFont = title->font();
    titleFont.setPixelSize(18);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    titles->addWidget(title);
    m_count = new QLabel(header);
    QFont captionFont = m_count->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    m_count->setFont(captionFont);
    m_count->setForegroundRole(QPalette::PlaceholderText);
    titles->addWidget(m_count);
    titles->addStretch(1);
    headerLayout->addLayout(titles);
    headerLayout->addStretch(1);

    m_saveAs = new QPushButton(QIcon::fromTheme(QStringLiteral("document-save-as")),
                               QStringLiteral("Save As…"), header);
    m_copy = new QPushButton(header);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(m_saveAs);
    buttons->addWidget(m_copy);
    headerLayout->addLayout(buttons);
    layout->addWidget(header);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    // A large snippet is read on a worker thread so the window comes up at once.
    const bool large = payload.rtfData.size() + payload.plainText.size() * 2 > backgroundLoadBytes;
    m_editor = new RichTextEditor(
        large ? nullptr : snippetDocument(payload), [this](const RichText &text) { textEdited(text); }, this);
    layout->addWidget(m_editor, 1);
    if (large) {
        // Counting graphemes of megabytes is slow too, so it travels with the document.
        QPointer<TextSnippetDetailView> self(this);
        QThread *guiThread = thread();
        QThreadPool::globalInstance()->start([payload, self, guiThread] {
            QTextDocument *document = snippetDocument(payload).release();
            document->moveToThread(guiThread);
            const qsizetype count = perceivedLength(payload.plainText);
            QMetaObject::invokeMethod(
                qApp,
                [self, document, count] {
                    if (!self) {
                        delete document;
                        return;
                    }
                    self->m_editor->adoptDocument(std::unique_ptr<QTextDocument>(document));
                    self->m_count->setText(QStringLiteral("%1 characters").arg(count));
                },
                Qt::QueuedConnection);
        });
    }

    m_saveModel = new SnippetSaveModel([this] { return currentPlainText(); }, this, settings);
    m_popover = new SnippetSavePopover(m_saveModel, this);

    connect(m_saveAs, &QPushButton::clicked, this, &TextSnippetDetailView::openSavePopover);
    connect(m_copy, &QPushButton::clicked, this, &TextSnippetDetailView::copy);
    connect(m_popover, &SnippetSavePopover::chooseFolderRequested, this,
            &TextSnippetDetailView::chooseFolder);
    connect(m_saveModel, &SnippetSaveModel::changed, this, &TextSnippetDetailView::syncPopover);
    connect(m_saveModel, &SnippetSaveModel::saved, this, &TextSnippetDetailView::showToast);
    // Edits still being gathered must reach the store before the process ends.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TextSnippetDetailView::flushEdits);

    if (!large)
        updateCount();
    updateCopyButton();
}

TextSnippetDetailView::~TextSnippetDetailView()
{
    flushEdits();
}

void TextSnippetDetailView::flushEdits()
{
    if (m_editor)
        m_editor->flush();
}

QString TextSnippetDetailView::currentPlainText()
{
    flushEdits();
    return m_currentPlainText;
}

QByteArray TextSnippetDetailView::currentRTFData()
{
    flushEdits();
    if (m_rtfStale) {
        // Exported on demand: only Copy needs it, and a large document is slow to export.
        m_currentRTFData = makeRichTextPayload(m_currentText).rtfData;
        m_rtfStale = false;
    }
    return m_currentRTFData;
}

void TextSnippetDetailView::textEdited(const RichText &text)
{
    m_currentText = text;
    m_currentPlainText = text.string();
    m_rtfStale = true;
    updateCount();
    if (m_onChange)
        m_onChange(text);
}

void TextSnippetDetailView::updateCount()
{
    m_count->setText(QStringLiteral("%1 characters").arg(perceivedLength(m_currentPlainText)));
}

void TextSnippetDetailView::updateCopyButton()
{
    m_copy->setText(m_copied ? QStringLiteral("Copied") : QStringLiteral("Copy"));
    m_copy->setIcon(m_copied ? QIcon::fromTheme(QStringLiteral("object-select"))
                             : QIcon::fromTheme(QStringLiteral("edit-copy")));
}

void TextSnippetDetailView::copy()
{
    auto *mime = new QMimeData;
    const QByteArray rtf = currentRTFData();
    if (!rtf.isEmpty())
        mime->setData(QStringLiteral("text/rtf"), rtf);
    mime->setText(m_currentPlainText);
    QGuiApplication::clipboard()->setMimeData(mime);

    m_copied = true;
    updateCopyButton();
    // Each click schedules its own reset, so the confirmation ends 0.8 s after the first one.
    QTimer::singleShot(copiedResetMs, this, [this] {
        m_copied = false;
        updateCopyButton();
    });
}

void TextSnippetDetailView::openSavePopover()
{
    m_saveModel->openPopover();
}

void TextSnippetDetailView::syncPopover()
{
    if (m_saveModel->showingSavePopover() && !m_popover->isVisible())
        m_popover->showBelow(m_saveAs);
    else if (!m_saveModel->showingSavePopover() && m_popover->isVisible())
        m_popover->hide();
}

void TextSnippetDetailView::chooseFolder()
{
    if (!m_saveModel->beginChooseFolder() || m_folderChooser)
        return;
    auto *dialog = new QFileDialog(window(), QStringLiteral("Choose Save Folder"));
    dialog->setObjectName(QStringLiteral("chooseSaveFolderDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Save Here"));
    if (const auto start = m_saveModel->chooserStartFolder())
        dialog->setDirectory(*start);
    dialog->setWindowModality(Qt::NonModal);
    m_folderChooser = dialog;

    // The popup would close at the first click into the chooser anyway; it comes back when needed.
    m_saveModel->setShowingSavePopover(false);
    QPointer<SnippetSaveModel> model(m_saveModel);
    connect(dialog, &QFileDialog::finished, this, [dialog, model](int result) {
        const QString folder = result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
        QTimer::singleShot(0, model, [model, folder] {
            if (!model)
                return;
            if (folder.isEmpty())
                model->folderChoiceCancelled();
            else
                model->folderChosen(folder);
        });
    });
    dialog->show();
}

void TextSnippetDetailView::showToast(const QString &fileName)
{
    QWidget *host = QApplication::activeWindow();
    if (!host || qobject_cast<SavedToast *>(host))
        host = window();
    SavedToast::show(host, fileName);
    Q_EMIT savedToFile(fileName);
}
