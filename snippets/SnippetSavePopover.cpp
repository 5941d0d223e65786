#include "snippets/SnippetSavePopover.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "richtext/PlainToolTip.h"
#include "snippets/SnippetSaveModel.h"

namespace {

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

SnippetSavePopover::SnippetSavePopover(SnippetSaveModel *model, QWidget *parent)
    : QFrame(parent, Qt::Popup), m_model(model)
{
    setObjectName(QStringLiteral("snippetSavePopover"));
    setFrameShape(QFrame::StyledPanel);
    setMinimumWidth(420);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto *heading = new QLabel(QStringLiteral("Save Snippet As"), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    auto *destination = new QVBoxLayout;
    destination->setSpacing(6);
    destination->addWidget(captionLabel(QStringLiteral("Save to:"), this));
    auto *folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    m_folder = new QLabel(this);
    m_folder->setTextFormat(Qt::PlainText);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    m_folder->setFont(mono);
    m_folder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_folder->setTextInteractionFlags(Qt::NoTextInteraction);
    folderRow->addWidget(m_folder, 1);
    m_chooseFolder = new QPushButton(QStringLiteral("Choose Folder…"), this);
    m_chooseFolder->setAutoDefault(false);
    folderRow->addWidget(m_chooseFolder);
    destination->addLayout(folderRow);

    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    m_destinations = new QButtonGroup(this);
    m_destinations->setExclusive(true);
    for (SaveDestination value : allSaveDestinations()) {
        auto *segment = new QPushButton(saveDestinationRawValue(value), this);
        segment->setCheckable(true);
        segment->setAutoDefault(false);
        segment->setAccessibleDescription(QStringLiteral("Quick Location"));
        m_destinations->addButton(segment, int(value));
        segments->addWidget(segment);
    }
    destination->addLayout(segments);
    layout->addLayout(destination);

    auto *filename = new QVBoxLayout;
    filename->setSpacing(6);
    filename->addWidget(captionLabel(QStringLiteral("Filename:"), this));
    m_filename = new QLineEdit(this);
    m_filename->setPlaceholderText(QStringLiteral("Filename"));
    filename->addWidget(m_filename);
    layout->addLayout(filename);

    m_confirmation = new QWidget(this);
    auto *confirmation = new QVBoxLayout(m_confirmation);
    confirmation->setContentsMargins(0, 0, 0, 0);
    confirmation->setSpacing(8);
    m_existsLabel = captionLabel(QString(), m_confirmation);
    m_existsLabel->setWordWrap(true);
    confirmation->addWidget(m_existsLabel);
    auto *confirmRow = new QHBoxLayout;
    confirmRow->addStretch(1);
    auto *keep = new QPushButton(QStringLiteral("Cancel"), m_confirmation);
    keep->setAutoDefault(false);
    m_replace = new QPushButton(QStringLiteral("Replace"), m_confirmation);
    m_replace->setDefault(true);
    confirmRow->addWidget(keep);
    confirmRow->addWidget(m_replace);
    confirmation->addLayout(confirmRow);
    layout->addWidget(m_confirmation);

    m_actions = new QWidget(this);
    auto *actions = new QHBoxLayout(m_actions);
    actions->setContentsMargins(0, 0, 0, 0);
    m_status = captionLabel(QString(), m_actions);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    QPalette red = m_status->palette();
    red.setColor(QPalette::WindowText, QColor(QStringLiteral("#d32f2f")));
    m_status->setPalette(red);
    m_status->setForegroundRole(QPalette::WindowText);
    actions->addWidget(m_status, 1);
    actions->addStretch(0);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), m_actions);
    cancel->setAutoDefault(false);
    m_save = new QPushButton(QStringLiteral("Save"), m_actions);
    m_save->setDefault(true);
    actions->addWidget(cancel);
    actions->addWidget(m_save);
    layout->addWidget(m_actions);

    connect(m_filename, &QLineEdit::textEdited, m_model, &SnippetSaveModel::setSaveFilename);
    connect(m_destinations, &QButtonGroup::idClicked, this,
            [this](int id) { m_model->setSaveDestination(SaveDestination(id)); });
    connect(m_chooseFolder, &QPushButton::clicked, this, &SnippetSavePopover::chooseFolderRequested);
    connect(keep, &QPushButton::clicked, m_model, &SnippetSaveModel::cancelOverwrite);
    connect(m_replace, &QPushButton::clicked, m_model, &SnippetSaveModel::replace);
    connect(cancel, &QPushButton::clicked, m_model, &SnippetSaveModel::cancelPopover);
    connect(m_save, &QPushButton::clicked, m_model, &SnippetSaveModel::save);
    connect(m_model, &SnippetSaveModel::changed, this, &SnippetSavePopover::sync);
    sync();
}

void SnippetSavePopover::sync()
{
    m_syncing = true;
    const auto folder = m_model->targetFolder();
    m_folderPath = folder ? *folder : QString();
    updateFolderText();
    if (QAbstractButton *segment = m_destinations->button(int(m_model->saveDestination())))
        segment->setChecked(true);
    if (m_filename->text() != m_model->saveFilename())
        m_filename->setText(m_model->saveFilename());

    const auto &pending = m_model->pendingOverwrite();
    m_confirmation->setVisible(pending.has_value());
    m_actions->setVisible(!pending.has_value());
    if (pending)
        m_existsLabel->setText(QFileInfo(*pending).fileName() + QStringLiteral(" already exists."));
    m_status->setText(m_model->saveStatus());
    m_status->setVisible(!m_model->saveStatus().isEmpty());
    const bool idle = !m_model->isWriting();
    m_save->setEnabled(idle);
    m_replace->setEnabled(idle);
    m_chooseFolder->setEnabled(idle);
    m_syncing = false;
    if (isVisible())
        adjustSize();
}

void SnippetSavePopover::updateFolderText()
{
    if (m_folderPath.isEmpty()) {
        m_folder->setText(QStringLiteral("No folder selected"));
        m_folder->setToolTip(QString());
        return;
    }
    m_folder->setText(
        m_folder->fontMetrics().elidedText(m_folderPath, Qt::ElideMiddle, qMax(40, m_folder->width())));
    m_folder->setToolTip(plainToolTip(m_folderPath));
}

void SnippetSavePopover::showBelow(QWidget *anchor)
{
    sync();
    adjustSize();
    QPoint at = anchor->mapToGlobal(QPoint(anchor->width() / 2 - width() / 2, anchor->height() + 4));
    if (const QScreen *screen = anchor->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - width())));
        at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() - height())));
    }
    move(at);
    show();
    m_filename->setFocus();
    m_filename->selectAll();
}

void SnippetSavePopover::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    // A click outside closes the popup; the model follows.
    if (!m_syncing)
        m_model->setShowingSavePopover(false);
}

void SnippetSavePopover::keyPressEvent(QKeyEvent *event)
{
    // Return in the filename field arrives here too (the field passes it on), so this is the
    // one place that acts on it: acting twice would answer the overwrite question unasked.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (m_model->pendingOverwrite())
            m_model->replace();
        else
            m_model->save();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        m_model->cancelPopover();
        return;
    }
    QFrame::keyPressEvent(event);
}

void SnippetSavePopover::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    updateFolderText();
}
