#include "ui/console/CPollManagerDlg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>

#include "config/AppConfig.h"
#include "core/PollManager.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "quibra/WindowClosedNotice.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/console/LongTextTip.h"
#include "ui/console/PollDetailsPanel.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/DialogTemplate.h"
#include "ui/skin/CSkinLayout.h"
#include "ui/skin/SkinSettings.h"

namespace quibra {

namespace {

QString Msg(int id) {
    return QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id));
}

// Tree items carry the index of their record.
constexpr int kRecordRole = Qt::UserRole;

using Dlg = CPollManagerDlg;

// Dialog 4000 in dialog units.
constexpr TemplateItem kItems[] = {
    {Dlg::kTreeId, ControlKind::Tree, 1, 24, 294, 86},
    {Dlg::kCreateButtonId, ControlKind::ImageButton, 59, 4, 23, 12},
    {Dlg::kModifyButtonId, ControlKind::ImageButton, 91, 4, 23, 12},
    {Dlg::kPostButtonId, ControlKind::ImageButton, 123, 4, 23, 12},
    {Dlg::kOverButtonId, ControlKind::ImageButton, 155, 4, 23, 12},
    {Dlg::kPublishButtonId, ControlKind::ImageButton, 186, 4, 23, 12},
    {Dlg::kDeleteButtonId, ControlKind::ImageButton, 218, 4, 23, 12},
    {Dlg::kWorkspaceId, ControlKind::Frame, 1, 112, 294, 120, nullptr, 0, false},
};
constexpr DialogTemplateSpec kTemplate{299, 237, kItems};

// The command buttons in set-up order, with their layout keys and tooltips.
struct ButtonSpec {
    int itemId;
    const wchar_t* layoutKey;
    SkinButton tip;
};
constexpr ButtonSpec kButtons[] = {
    {Dlg::kCreateButtonId, L"create_poll_btn", SkinButton::PollNew},
    {Dlg::kModifyButtonId, L"modify_poll_btn", SkinButton::PollEdit},
    {Dlg::kPostButtonId, L"post_poll_btn", SkinButton::PollStart},
    {Dlg::kOverButtonId, L"over_poll_btn", SkinButton::PollStop},
    {Dlg::kPublishButtonId, L"publish_poll_btn", SkinButton::PollPublish},
    {Dlg::kDeleteButtonId, L"delete_poll_btn", SkinButton::PollDelete},
};

QRect ToQRect(const SkinRect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

}  // namespace

CPollManagerDlg::CPollManagerDlg(PollManager& manager, QWidget* hostWindow,
                                 const SkinSettings& settings)
    : CSkinDialog(nullptr),
      m_manager(manager),
      m_hostWindow(hostWindow),
      m_settings(settings),
      m_list(this),
      m_treeMenu(this),
      m_buttonMenu(this),
      m_fileCommands(*this) {
    AppConfig::Instance().Load();
    DialogTemplate::Apply(*this, kTemplate);
    InitDialog();
}

void CPollManagerDlg::InitDialog() {
    const CSkinLayout& layout = CSkinLayout::Current();
    const QFont* font = DialogFont::Get();
    layout.ApplyDialogEntry(*this, L"640*480_dlg");
    setWindowTitle(Msg(msg::kConsoleTitle));  // what the task switcher shows
    m_workspace = Item(kWorkspaceId);
    if (const ControlEntry* workspace = layout.FindControl(L"workspace_ctrl"))
        m_workspace->setGeometry(ToQRect(workspace->rect));

    m_tip = new LongTextTip(this);
    m_tree = ItemAs<QTreeWidget>(kTreeId);
    if (font) {
        m_tip->setFont(*font);
        m_tree->setFont(*font);
        m_workspace->setFont(*font);
    }
    m_tree->setColumnCount(1);
    m_tree->setAccessibleName(Msg(msg::kPollList));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setUniformRowHeights(true);
    m_tree->setTextElideMode(Qt::ElideRight);
    m_tree->viewport()->setMouseTracking(true);
    m_tree->viewport()->installEventFilter(this);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { OnSelectionChanged(); });
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });

    m_defaultPanel = new PollDetailsPanel(this);
    if (font) m_defaultPanel->setFont(*font);
    m_defaultPanel->setGeometry(m_workspace->geometry());
    m_defaultPanel->AddCategory(Msg(msg::kCategoryQuestion));
    m_defaultPanel->AddCategory(Msg(msg::kCategoryDetails));
    m_defaultPanel->show();
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);

    SetUpButtons();

    layout.ApplyWindowControls(*this, L"create_poll_dlg");
    if (const ControlEntry* workspace = layout.FindControl(L"workspace_ctrl"))
        m_defaultPanel->setGeometry(ToQRect(workspace->rect));

    m_treeMenu.SetStyle(3);
    m_treeMenu.SetItemSize(200, 20);
    m_treeMenu.AddItem(CSkinMenu::Normal, kExportShownCommand, Msg(msg::kMenuExportShownPoll));
    m_treeMenu.AddItem(CSkinMenu::Normal, kExportAllCommand, Msg(msg::kMenuExportClosedPolls));
    m_treeMenu.AddItem(CSkinMenu::Normal, kImportCommand, Msg(msg::kMenuImportPollFile));
    m_buttonMenu.SetStyle(3);
    m_buttonMenu.SetItemSize(200, 20);
    CenterWindow();
    EnableAll(false);
}

void CPollManagerDlg::SetUpButtons() {
    const CSkinLayout& layout = CSkinLayout::Current();
    for (const ButtonSpec& spec : kButtons) {
        auto* button = ItemAs<CImageButton>(spec.itemId);
        // A picture that does not load ends the set-up: later buttons stay bare.
        if (!button || !layout.SetUpButton(*button, spec.layoutKey, spec.itemId == kCreateButtonId,
                                           m_settings.TipText(spec.tip)))
            return;
    }
}

CPollManagerDlg::~CPollManagerDlg() {
    // The panels refer to the records: the list is cleared while both are alive.
    m_list.Clear();
    m_list.SetView(nullptr);
}

bool CPollManagerDlg::Show() {
    show();
    raise();
    activateWindow();
    return true;
}

CImageButton* CPollManagerDlg::Button(int itemId) const {
    return findChild<CImageButton*>(QString::number(itemId));
}

const PollRecord* CPollManagerDlg::ShownRecord() const {
    return m_currentPanel ? m_currentPanel->Record() : nullptr;
}

void CPollManagerDlg::EnableAll(bool enabled) {
    m_buttonsEnabled = enabled;
    for (int id : {kCreateButtonId, kModifyButtonId, kPostButtonId, kOverButtonId, kPublishButtonId,
                   kDeleteButtonId}) {
        if (CImageButton* button = Button(id)) button->setEnabled(enabled);
    }
    if (!enabled) m_tree->setEnabled(false);
}

std::optional<std::wstring> CPollManagerDlg::ClearPresentation() {
    m_tip->hide();
    {
        const QSignalBlocker quiet(m_tree);
        m_tree->clear();
    }
    std::optional<std::wstring> shown;
    if (m_currentPanel && m_currentPanel->Record()) shown = m_currentPanel->Record()->pollId;
    const auto at = std::find(m_panels.begin(), m_panels.end(), m_currentPanel);
    m_shownRow = m_currentPanel && at != m_panels.end() ? at - m_panels.begin() : -1;
    for (PollDetailsPanel* panel : m_panels) {
        if (!panel) continue;
        panel->hide();
        delete panel;
    }
    m_panels.clear();
    m_currentPanel = nullptr;
    m_records = nullptr;
    return shown;
}

void CPollManagerDlg::FillPresentation(std::vector<PollRecord>& records,
                                       const std::wstring& rememberedPollId) {
    m_records = &records;
    m_panels.assign(records.size(), nullptr);
    QFont bold = m_tree->font();
    if (const QFont* base = DialogFont::Get()) bold = *base;
    bold.setBold(true);

    // Rows as high as a line of Latin and Chinese text, so neither is cut.
    const QSize rowSize(0, DialogFont::LineHeight(bold) + 2);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i) {
        PollRecord& record = records[i];
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdWString(record.title)});
        item->setData(0, kRecordRole, static_cast<int>(i));
        item->setFont(0, bold);
        item->setSizeHint(0, rowSize);
        switch (record.status) {
            case PollStatus::New:
                item->setForeground(0, QColor(0x92, 0x93, 0x60));
                break;
            case PollStatus::Open:
                item->setForeground(0, QColor(0x31, 0x5F, 0xCA));
                break;
            case PollStatus::Closed:
                item->setForeground(0, QColor(Qt::black));
                break;
            default:
                break;
        }
        // What the details panel shows as "not published" is what the record holds from now.
        if (record.publishState != PublishState::Published)
            record.publishState = PublishState::NotPublished;
        items.append(item);
    }
    {
        const QSignalBlocker quiet(m_tree);
        m_tree->addTopLevelItems(items);
    }

    // An import keeps the console locked until its last poll has been sent.
    const bool importing = m_fileCommands.ImportRunning();
    if (!m_buttonsEnabled && !importing) {
        m_buttonsEnabled = true;
        m_tree->setEnabled(true);
    }
    if (records.empty()) {
        m_defaultPanel->show();
    } else {
        m_defaultPanel->hide();
        int selected = 0;
        if (!rememberedPollId.empty()) {
            // A shown poll that went leaves its row to the poll now there.
            selected = m_shownRow < 0 ? -1
                                      : static_cast<int>(std::min<std::ptrdiff_t>(
                                            m_shownRow, std::ssize(records) - 1));
            for (std::size_t i = 0; i < records.size(); ++i) {
                if (records[i].pollId == rememberedPollId) {
                    selected = static_cast<int>(i);
                    break;
                }
            }
        }
        if (selected >= 0) m_tree->setCurrentItem(m_tree->topLevelItem(selected));
    }
    m_tree->setFocus();
    if (CImageButton* create = Button(kCreateButtonId); create && !importing)
        create->setEnabled(true);
}

PollDetailsPanel* CPollManagerDlg::PanelFor(int index) {
    if (!m_records || index < 0 || index >= static_cast<int>(m_panels.size())) return nullptr;
    PollDetailsPanel*& panel = m_panels[static_cast<std::size_t>(index)];
    if (!panel) {
        panel = new PollDetailsPanel(this, &(*m_records)[static_cast<std::size_t>(index)]);
        if (const QFont* base = DialogFont::Get()) panel->setFont(*base);
        panel->setGeometry(m_defaultPanel->geometry());
        panel->DescribeRecord();
        panel->hide();
    }
    return panel;
}

void CPollManagerDlg::OnSelectionChanged() {
    if (!m_buttonsEnabled) return;
    QTreeWidgetItem* item = m_tree->currentItem();
    // An item that only holds the caret (focus without selection) is not chosen.
    if (!item || !item->isSelected()) return;
    const QVariant data = item->data(0, kRecordRole);
    if (!data.isValid()) return;
    PollDetailsPanel* panel = PanelFor(data.toInt());
    if (!panel) return;
    if (panel != m_currentPanel) {
        panel->show();
        panel->setEnabled(true);
        panel->setFocusPolicy(Qt::TabFocus);
        if (m_currentPanel) m_currentPanel->hide();
        m_currentPanel = panel;
        m_tree->viewport()->update();
    }
    UpdateButtons(*m_currentPanel->Record());
}

void CPollManagerDlg::UpdateButtons(const PollRecord& record) {
    if (!m_buttonsEnabled) return;
    const PollStatus status = record.status;
    const auto set = [this](int id, bool enabled) {
        if (CImageButton* button = Button(id)) button->setEnabled(enabled);
    };
    set(kModifyButtonId, status == PollStatus::New);
    set(kPublishButtonId, status == PollStatus::Closed);
    set(kDeleteButtonId, status == PollStatus::New || status == PollStatus::Closed);
    set(kPostButtonId, status == PollStatus::New);
    set(kOverButtonId, status == PollStatus::Open);
}

bool CPollManagerDlg::CollectSelected(std::uint32_t mask, bool closedOnly,
                                      std::vector<PollRecord*>& out) const {
    out.clear();
    if (!m_records) return false;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_tree->topLevelItem(i);
        if (!item->isSelected()) continue;
        const int index = item->data(0, kRecordRole).toInt();
        PollRecord& record = (*m_records)[static_cast<std::size_t>(index)];
        const bool passes =
            closedOnly
                ? PollStatusInMask(record.status, static_cast<std::uint32_t>(PollStatus::Closed))
                : PollStatusInMask(record.status, mask);
        if (!passes) {
            out.clear();
            return false;
        }
        out.push_back(&record);
    }
    return !out.empty();
}

void CPollManagerDlg::RefuseSelection() {
    ShowMessageBox(CWenMsg::GetInstance().GetMsg(msg::kSelectionNotSuitable), 0);
}

void CPollManagerDlg::OnCommand(int id) {
    switch (id) {
        case kNewPollCommand:
            RunEditor(PollRecord{});
            break;
        case kModifyButtonId:
            ModifyPoll();
            break;
        case kImportCommand:
            m_unsentPoll.reset();  // a failed creation of the file's is none of the editor's
            m_fileCommands.ImportPollFile();
            break;
        case kPostButtonId:
            ChangeStatus(PollStatus::New, PollStatus::Open);
            break;
        case kOverButtonId:
            ChangeStatus(PollStatus::Open, PollStatus::Closed);
            break;
        case kPublishCommand:
            PublishPolls();
            break;
        case kDeleteButtonId:
            DeletePolls();
            break;
        case kExportShownCommand:
            m_fileCommands.ExportShownPoll();
            break;
        case kExportAllCommand:
            m_fileCommands.ExportAllPolls();
            break;
        case kCreateButtonId:
        case kPublishButtonId:
            ShowButtonMenu(id);
            break;
        default:
            CSkinDialog::OnCommand(id);
            break;
    }
}

void CPollManagerDlg::RunEditor(const PollRecord& start) {
    CPollQuestionDlg editor(m_settings);
    editor.Record() = start;
    // The editor runs its own event loop, in which the manager may replace this window.
    const QPointer<CPollManagerDlg> alive(this);
    if (editor.exec() != QDialog::Accepted || !alive) return;
    const PollRecord& typed = editor.Record();
    m_unsentPoll = typed;
    if (typed.pollId.empty())
        m_manager.CmdCreatePolling(typed);
    else
        m_manager.CmdUpdateContant(typed);
    EnableAll(false);
}

void CPollManagerDlg::Unlock() {
    m_buttonsEnabled = true;
    m_tree->setEnabled(true);
    if (CImageButton* create = Button(kCreateButtonId)) create->setEnabled(true);
    if (const PollRecord* shown = ShownRecord()) UpdateButtons(*shown);
}

void CPollManagerDlg::JobFailed(PresenterJob job) {
    Unlock();
    const bool importing = job == PresenterJob::Create && m_fileCommands.ImportRunning();
    if (importing) m_fileCommands.StopImport();
    // Polls of a file failing one after the other make one message.
    if (m_failureQueued) return;
    m_failureQueued = true;
    QMetaObject::invokeMethod(
        this, [this, job] { TellJobFailed(job); }, Qt::QueuedConnection);
}

void CPollManagerDlg::TellJobFailed(PresenterJob job) {
    std::optional<PollRecord> unsent;
    if (job == PresenterJob::Create || job == PresenterJob::Update) unsent.swap(m_unsentPoll);
    const int text = job == PresenterJob::Create   ? (unsent ? msg::kServerDownPollNotCreated
                                                             : msg::kServerDownImportNotCreated)
                     : job == PresenterJob::Delete ? msg::kServerDownPollsNotDeleted
                     : job == PresenterJob::Update ? msg::kServerDownPollNotChanged
                                                   : msg::kServerDownStatusNotChanged;
    // The box runs its own event loop, in which the manager may replace this window.
    const QPointer<CPollManagerDlg> alive(this);
    ShowMessageBox(CWenMsg::GetInstance().GetMsg(text), 0);
    if (!alive) return;
    m_failureQueued = false;
    // What was typed is not lost: the editor opens again on it, for OK once more.
    if (unsent && m_buttonsEnabled) RunEditor(*unsent);
}

void CPollManagerDlg::ModifyPoll() {
    const PollRecord* shown = ShownRecord();
    if (!shown) return;
    PollRecord copy;
    copy.pollId = shown->pollId;
    copy.title = shown->title;
    copy.singleChoice = shown->singleChoice;
    copy.identified = shown->identified;
    for (const PollItem& item : shown->items)
        copy.items.push_back(PollItem{item.pollId, item.itemName, item.content, 0, {}});
    // A refresh during the editor's own event loop may drop `shown`: only the copy is used.
    RunEditor(copy);
}

void CPollManagerDlg::ChangeStatus(PollStatus from, PollStatus to) {
    std::vector<PollRecord*> records;
    if (!CollectSelected(static_cast<std::uint32_t>(from), false, records)) {
        RefuseSelection();
        return;
    }
    for (PollRecord* record : records) record->requestedStatus = to;
    m_manager.CmdUpdateStats({records.begin(), records.end()});
    EnableAll(false);
}

void CPollManagerDlg::PublishPolls() {
    std::vector<PollRecord*> records;
    if (!CollectSelected(0, true, records)) {
        RefuseSelection();
        return;
    }
    for (PollRecord* record : records) {
        record->requestedPublishState = PublishState::Published;
        record->requestedStatus = record->status;
    }
    m_manager.CmdUpdateStats({records.begin(), records.end()});
    EnableAll(false);
}

void CPollManagerDlg::DeletePolls() {
    std::vector<PollRecord*> records;
    const auto collect = [&] {
        return CollectSelected(PollStatus::New | PollStatus::Closed, false, records);
    };
    if (!collect()) {
        RefuseSelection();
        return;
    }
    int ballots = 0;
    bool published = false;
    for (const PollRecord* record : records) {
        ballots += std::max(0, record->voterCount);
        published = published || record->publishState == PublishState::Published;
    }
    if (ballots > 0 || published) {
        // Ballots and published results are asked about first; the box runs
        // its own event loop, in which a refresh may replace the records.
        const QString question =
            ballots == 1 ? Msg(msg::kDeleteOneBallot) : Msg(msg::kDeleteBallots).arg(ballots);
        const QPointer<CPollManagerDlg> alive(this);
        if (ShowMessageBox(question.toStdWString(), kMessageBoxAsk) != kMessageBoxYes || !alive ||
            !collect())
            return;
    }
    m_manager.CmdDelete({records.begin(), records.end()});
    EnableAll(false);
}

void CPollManagerDlg::reject() {
    if (QWidget* host = m_hostWindow.data())
        QCoreApplication::postEvent(host, new WindowClosedNotice);
    CSkinDialog::reject();
}

bool CPollManagerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_tree->viewport()) {
        switch (event->type()) {
            case QEvent::MouseMove: {
                auto* move = static_cast<QMouseEvent*>(event);
                if (move->buttons() == Qt::NoButton) ShowLongText(move->position().toPoint());
                break;
            }
            case QEvent::MouseButtonPress: {
                auto* press = static_cast<QMouseEvent*>(event);
                m_tip->hide();
                if (press->button() == Qt::RightButton) {
                    // The menu works on the selection as it is: a right click selects nothing.
                    ShowTreeMenu(press->globalPosition().toPoint());
                    return true;
                }
                break;
            }
            case QEvent::Leave:
                m_tip->hide();
                break;
            case QEvent::Resize:
                // The one column is as wide as the tree (a hidden header stretches
                // nothing): a longer title is cut, and the tip shows it whole.
                m_tree->setColumnWidth(0, m_tree->viewport()->width());
                break;
            case QEvent::ContextMenu:
                return true;
            default:
                break;
        }
    }
    return CSkinDialog::eventFilter(watched, event);
}

void CPollManagerDlg::ShowLongText(QPoint viewportPos) {
    QTreeWidgetItem* item = m_tree->itemAt(viewportPos);
    if (!item) {
        m_tip->hide();
        return;
    }
    // Measured as the tree draws it: in the item's own font, inside the
    // style's text margins, elided where it does not fit.
    const int margin =
        m_tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_tree) + 1;
    const int width = m_tree->visualItemRect(item).width() - 2 * margin;
    const QString text = item->text(0);
    if (QFontMetrics(item->font(0)).elidedText(text, m_tree->textElideMode(), width) == text) {
        m_tip->hide();
        return;
    }
    m_tip->ShowTip(QString(), text, m_tree->viewport()->mapToGlobal(viewportPos));
}

void CPollManagerDlg::ShowTreeMenu(QPoint globalPos) {
    const bool anySelected = !m_tree->selectedItems().isEmpty();
    CImageButton* publish = Button(kPublishButtonId);
    const bool exportable = anySelected && publish && publish->isEnabled();
    m_treeMenu.EnableItem(kExportShownCommand, exportable);
    m_treeMenu.EnableItem(kExportAllCommand, exportable);
    m_treeMenu.EnableItem(kImportCommand, true);
    const QPointer<CPollManagerDlg> alive(this);
    const int command = m_treeMenu.Exec(globalPos);
    if (command != 0 && alive) OnCommand(command);
}

void CPollManagerDlg::ShowButtonMenu(int buttonId) {
    m_buttonMenu.RemoveAll();
    if (buttonId == kCreateButtonId) {
        m_buttonMenu.AddItem(CSkinMenu::Normal, kNewPollCommand, Msg(msg::kMenuNewPoll));
        m_buttonMenu.AddItem(CSkinMenu::Normal, kImportCommand, Msg(msg::kMenuImportPollFile));
    } else {
        m_buttonMenu.AddItem(CSkinMenu::Normal, kPublishCommand, Msg(msg::kMenuPublishResult));
        m_buttonMenu.AddItem(CSkinMenu::Normal, kExportAllCommand,
                             Msg(msg::kMenuExportClosedPolls));
    }
    // Under the pointer when clicked; under the button when pressed from the keyboard.
    QPoint at = QCursor::pos();
    if (const CImageButton* button = Button(buttonId);
        button != nullptr && !button->rect().contains(button->mapFromGlobal(at)))
        at = button->mapToGlobal(QPoint(0, button->height()));
    const QPointer<CPollManagerDlg> alive(this);
    const int command = m_buttonMenu.Exec(at);
    if (command != 0 && alive) OnCommand(command);
}

}  // namespace quibra
