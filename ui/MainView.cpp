#include "ui/MainView.h"

#include "model/PlatformTexts.h"
#include "platform/Workspace.h"
#include "preview/LivePreviewSession.h"
#include "ui/AngleCard.h"
#include "ui/Appearance.h"
#include "ui/BusyIndicator.h"
#include "ui/ElidedLabel.h"
#include "ui/PlaybackControls.h"
#include "ui/ProjectNameEditor.h"
#include "ui/SegmentedControl.h"
#include "ui/SphereOverviewPanel.h"
#include "ui/WheelGuard.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using Appearance::TextStyle;

namespace {
constexpr int contentMargin = 26;
constexpr int columnSpacing = 20;
constexpr int optionRowSpacing = 12;
constexpr int optionLabelWidth = 110;
constexpr int sourceRowSpacing = 14;
constexpr int cardSpacing = 16;
constexpr int saveRowSpacing = 18;
constexpr int statusSpacing = 8;
constexpr int largeControlHeight = 34;

QLabel* wrappingCaption(const QString& text) {
    QLabel* label = Appearance::makeLabel(text, TextStyle::caption, true);
    label->setWordWrap(true);
    return label;
}

QPushButton* largeButton(const QString& text, const QIcon& icon) {
    // "&" marks a keyboard mnemonic in a button title; the visible title keeps it as typed.
    auto* button = new QPushButton(icon, QString(text).replace(QLatin1Char('&'), "&&"));
    button->setAccessibleName(text);
    button->setMinimumHeight(largeControlHeight);
    button->setIconSize({18, 18});
    return button;
}
} // namespace

MainView::MainView(SessionServices services, QStringList launchArguments,
                   AnglePreviewFactory makePreview, OverviewFactory makeOverview, QWidget* parent)
    : QWidget(parent), launchArguments_(std::move(launchArguments)),
      makePreview_(std::move(makePreview)) {
    workspace_ = services.workspace;
    model_ = new SessionModel(std::move(services), this);

    scrollArea_ = new QScrollArea(this);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setMinimumSize(minimumContentWidth, minimumContentHeight);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scrollArea_);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(contentMargin, contentMargin, contentMargin, contentMargin);
    column->setSpacing(columnSpacing);

    column->addWidget(makeHeader());

    angleCountControl_ = new SegmentedControl(QStringLiteral("Number of camera views"));
    angleCountControl_->addSegment(QStringLiteral("3 angles"), 3);
    angleCountControl_->addSegment(QStringLiteral("4 angles"), 4);
    column->addWidget(makeOptionRow(
        QStringLiteral("Camera views"), angleCountControl_, 210,
        QStringLiteral(
            "Names and framing are adjustable. Switching to 3 preserves your fourth preset.")));

    formatControl_ = new SegmentedControl(QStringLiteral("Video format"));
    for (OutputFormat::Case format : OutputFormat::allCases)
        formatControl_->addSegment(OutputFormat(format).displayName(), int(format));
    column->addWidget(makeOptionRow(
        QStringLiteral("Video format"), formatControl_, 320,
        QStringLiteral("Framing is remembered separately for each format during this session.")));

    resolutionPicker_ = new QComboBox;
    resolutionPicker_->setAccessibleName(QStringLiteral("Resolution"));
    for (OutputResolution::Case resolution : OutputResolution::allCases)
        resolutionPicker_->addItem({}, int(resolution));
    resolutionRow_ = makeOptionRow(QStringLiteral("Resolution"), resolutionPicker_, 210,
                                   QStringLiteral("Output dimensions for the Final Cut project."));
    column->addWidget(resolutionRow_);

    column->addWidget(makeSourceRow());

    playback_ = new PlaybackControls(*model_->preview());
    column->addWidget(playback_);

    overview_ = new SphereOverviewPanel(*model_, makeOverview);
    column->addWidget(overview_);
    connect(overview_, &SphereOverviewPanel::dragStarted, model_, &SessionModel::beginEdit);
    connect(overview_, &SphereOverviewPanel::dragFinished, model_, &SessionModel::endEdit);

    cardRow_ = new QWidget;
    cardLayout_ = new QHBoxLayout(cardRow_);
    cardLayout_->setContentsMargins(0, 0, 0, 0);
    cardLayout_->setSpacing(cardSpacing);
    cardLayout_->setAlignment(Qt::AlignTop);
    column->addWidget(cardRow_);

    column->addWidget(wrappingCaption(QStringLiteral(
        "Starting directions are adjustable presets; Rear is a placeholder for your fourth "
        "view. Rename and frame each view for this camera's mounting position, then confirm "
        "it in Final Cut.")));

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    nameEditor_ = new ProjectNameEditor;
    column->addWidget(nameEditor_);
    column->addWidget(makeSaveRow());
    column->addWidget(makeStatusBlock());
    column->addStretch();

    scrollArea_->setWidget(content);

    connectModel();
    addShortcuts();
    WheelGuard::protect(this);
    rebuildCards();
    refreshAngleCount();
    refreshFormat();
    refreshResolution();
    refreshSource();
    refreshNaming();
    refreshLastExport();
    statusLine_->setText(model_->status());
    refreshEnablement();
    refreshErrorAlert();
    refreshMacFolder();
}

MainView::~MainView() = default;

QWidget* MainView::makeHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(5);
    texts->addWidget(Appearance::makeLabel(
        QStringLiteral("One 360° clip. Up to four camera views."), TextStyle::largeTitle));
    subtitle_ = Appearance::makeLabel({}, TextStyle::body, true);
    texts->addWidget(subtitle_);
    row->addLayout(texts);
    row->addStretch();

    QLabel* badge = Appearance::makeLabel(QStringLiteral("PROTOTYPE"), TextStyle::caption2);
    QFont font = badge->font();
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    badge->setFont(font);
    const int height = QFontMetrics(font).height() + 12;
    badge->setFixedHeight(height);
    badge->setStyleSheet(QStringLiteral("background: rgba(255, 149, 0, 0.16);"
                                        " border-radius: %1px; padding: 0px 10px;")
                             .arg(height / 2));
    row->addWidget(badge, 0, Qt::AlignTop);
    return header;
}

QWidget* MainView::makeOptionRow(const QString& label, QWidget* control, int controlWidth,
                                 const QString& caption) {
    auto* container = new QWidget;
    auto* row = new QHBoxLayout(container);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(optionRowSpacing);
    QLabel* title = Appearance::makeLabel(label, TextStyle::subheadline);
    QFont font = title->font();
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    title->setFixedWidth(optionLabelWidth);
    row->addWidget(title);
    control->setFixedWidth(controlWidth);
    row->addWidget(control);
    QLabel* note = Appearance::makeLabel(caption, TextStyle::caption, true);
    row->addWidget(note, 1);
    return container;
}

QWidget* MainView::makeSourceRow() {
    auto* container = new QWidget;
    auto* row = new QHBoxLayout(container);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(sourceRowSpacing);
    chooseSourceButton_ =
        largeButton(QStringLiteral("Choose 360° video…"),
                    Appearance::symbol(QStringLiteral("video-x-generic"), QStyle::SP_DirOpenIcon));
    row->addWidget(chooseSourceButton_);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(3);
    sourceLine_ = new ElidedLabel;
    Appearance::setTextStyle(sourceLine_, TextStyle::headline);
    lines->addWidget(sourceLine_);
    dimensionsLine_ = Appearance::makeLabel({}, TextStyle::caption, true);
    lines->addWidget(dimensionsLine_);
    row->addLayout(lines, 1);

    loadingIndicator_ = new BusyIndicator;
    row->addWidget(loadingIndicator_);

    connect(chooseSourceButton_, &QPushButton::clicked, model_, &SessionModel::chooseSource);
    return container;
}

QWidget* MainView::makeSaveRow() {
    saveRow_ = new QWidget;
    auto* row = new QHBoxLayout(saveRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(saveRowSpacing);
    row->setAlignment(Qt::AlignBottom);
    row->addStretch();
    saveButton_ =
        largeButton(QStringLiteral("Save XML…"), Appearance::symbol(QStringLiteral("document-save"),
                                                                    QStyle::SP_DialogSaveButton));
    row->addWidget(saveButton_);
    saveAndOpenButton_ =
        largeButton(QStringLiteral("Save & Open in Final Cut…"),
                    Appearance::symbol(QStringLiteral("document-send"), QStyle::SP_ArrowForward));
    // The prominent action is filled with the accent colour.
    saveAndOpenButton_->setStyleSheet(QStringLiteral(
        "QPushButton { background: palette(highlight); color: palette(highlighted-text);"
        " border: 1px solid palette(highlight); border-radius: 6px; padding: 0px 16px;"
        " font-weight: 600; }"
        " QPushButton:hover { background: palette(highlight); border-color: palette(dark); }"
        " QPushButton:pressed { background: palette(dark); }"
        " QPushButton:disabled { background: palette(midlight); color: palette(mid);"
        " border-color: palette(midlight); }"));
    row->addWidget(saveAndOpenButton_);

    connect(saveButton_, &QPushButton::clicked, model_, [this] { model_->exportXML(false); });
    connect(saveAndOpenButton_, &QPushButton::clicked, model_, [this] { model_->exportXML(true); });
    return saveRow_;
}

QWidget* MainView::makeStatusBlock() {
    auto* block = new QWidget;
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(statusSpacing);

    auto* statusRow = new QHBoxLayout;
    busyIndicator_ = new BusyIndicator;
    statusRow->addWidget(busyIndicator_);
    statusLine_ = Appearance::makeLabel({}, TextStyle::subheadline);
    statusLine_->setWordWrap(true);
    statusRow->addWidget(statusLine_, 1);
    column->addLayout(statusRow);

    column->addWidget(wrappingCaption(QStringLiteral(
        "Both actions save an XML file for the entire source clip, regardless of the preview "
        "position. All angles share one video; source audio stays continuous.")));

    lastExportRow_ = new QWidget;
    auto* exportRow = new QHBoxLayout(lastExportRow_);
    exportRow->setContentsMargins(0, 0, 0, 0);
    openSavedButton_ = new QPushButton(QStringLiteral("Open Saved XML in Final Cut"));
    revealButton_ = new QPushButton(PlatformTexts::text(PlatformTexts::Text::revealButton));
    lastExportName_ = Appearance::makeLabel({}, TextStyle::caption, true);
    exportRow->addWidget(openSavedButton_);
    exportRow->addWidget(revealButton_);
    exportRow->addWidget(lastExportName_, 1);
    column->addWidget(lastExportRow_);

    connect(openSavedButton_, &QPushButton::clicked, model_, [this] {
        if (const auto& saved = model_->lastExport())
            model_->openSavedXMLInFinalCut(*saved);
    });
    connect(revealButton_, &QPushButton::clicked, model_, [this] {
        const auto& saved = model_->lastExport();
        if (!saved)
            return;
        // Nothing on this desktop could show it: say so, and where the file is.
        workspace_->reveal(
            *saved, [view = QPointer<MainView>(this)](const std::optional<QString>& failure) {
                if (view && failure)
                    view->model_->setErrorMessage(*failure);
            });
    });
    return block;
}

QList<AngleCard*> MainView::cards() const {
    QList<AngleCard*> result;
    for (int i = 0; i < cardLayout_->count(); ++i)
        if (auto* card = qobject_cast<AngleCard*>(cardLayout_->itemAt(i)->widget()))
            result.append(card);
    return result;
}
