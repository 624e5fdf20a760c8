#include "ui/console/PollDetailsPanel.h"

#include <QComboBox>
#include <QHeaderView>

#include "i18n/MessageIds.h"
#include "polldata/PollRecord.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/ResultBar.h"
#include "ui/controls/UiText.h"

namespace quibra {

namespace {

QString Msg(int id) {
    return UiText::Msg(id);
}

QString StatusText(PollStatus status) {
    switch (status) {
        case PollStatus::New:
            return Msg(msg::kStatusNew);
        case PollStatus::Open:
            return Msg(msg::kStatusOpen);
        case PollStatus::Closed:
            return Msg(msg::kStatusClosed);
        default:
            return {};
    }
}

}  // namespace

PollDetailsPanel::PollDetailsPanel(QWidget* parent, PollRecord* record)
    : QTreeWidget(parent), m_record(record) {
    setObjectName(record ? QStringLiteral("details") : QStringLiteral("defaultDetails"));
    setColumnCount(3);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(UiText::Msg(msg::kCategoryDetails));
    setUniformRowHeights(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::Stretch);
    header()->setSectionResizeMode(2, QHeaderView::Fixed);
    header()->resizeSection(2, kBarWidth);
}

QTreeWidgetItem* PollDetailsPanel::AddCategory(const QString& title) {
    auto* category = new QTreeWidgetItem(this, QStringList{title});
    QFont bold = font();
    bold.setBold(true);
    category->setFont(0, bold);
    category->setFirstColumnSpanned(true);
    category->setSizeHint(0, RowSize());
    return category;
}

QTreeWidgetItem* PollDetailsPanel::AddRow(QTreeWidgetItem* category, const QString& caption,
                                          const QString& value) {
    auto* row = new QTreeWidgetItem(category, QStringList{caption, value});
    row->setToolTip(0, caption);
    row->setSizeHint(0, RowSize());
    return row;
}

QTreeWidgetItem* PollDetailsPanel::AddListRow(QTreeWidgetItem* category, const QString& caption,
                                              const QStringList& entries) {
    QTreeWidgetItem* row = AddRow(category, caption, QString());
    auto* list = new QComboBox;
    list->addItems(entries);
    list->setFont(font());
    list->setFixedHeight(RowSize().height());
    setItemWidget(row, 1, list);
    return row;
}

QSize PollDetailsPanel::RowSize() const {
    // As high as a line of Latin and Chinese text, so neither is cut.
    return QSize(0, DialogFont::LineHeight(font()) + 2);
}

QString PollDetailsPanel::ValueText(const QTreeWidgetItem* row) const {
    if (auto* list = qobject_cast<QComboBox*>(itemWidget(const_cast<QTreeWidgetItem*>(row), 1)))
        return list->currentText();
    return row->text(1);
}

void PollDetailsPanel::DescribeRecord() {
    if (!m_record) return;
    const PollRecord& record = *m_record;

    QTreeWidgetItem* choices = AddCategory(Msg(msg::kCategoryChoices));
    for (const PollItem& item : record.items) {
        const QString caption = QString::fromStdWString(item.itemName + L":" + item.content);
        const QString value = UiText::People(item.postCount);
        if (item.postCount > 0 && record.identified) {
            QStringList entries{value};
            entries.reserve(static_cast<qsizetype>(item.voterNames.size()) + 1);
            for (const std::wstring& name : item.voterNames)
                entries.append(QString::fromStdWString(name));
            AddListRow(choices, caption, entries);
        } else {
            AddRow(choices, caption, value);
        }
        // A poll that was posted has answers to show as bars.
        if (record.status != PollStatus::New)
            setItemWidget(choices->child(choices->childCount() - 1), 2,
                          new ResultBar(nullptr, caption, item.postCount, record.voterCount));
    }
    choices->setExpanded(true);

    QTreeWidgetItem* details = AddCategory(Msg(msg::kCategoryDetails));
    if (record.status == PollStatus::Closed)
        AddRow(details, Msg(msg::kVoterCountCaption), UiText::People(record.voterCount));
    AddRow(details, Msg(msg::kIdentifyCaption),
           Msg(record.identified ? msg::kIdentified : msg::kAnonymous));
    AddRow(details, Msg(msg::kAnswerModeCaption),
           Msg(record.singleChoice ? msg::kSingleAnswer : msg::kMultipleAnswers));
    AddRow(details, Msg(msg::kStatusCaption), StatusText(record.status));
    AddRow(
        details, Msg(msg::kPublishCaption),
        Msg(record.publishState == PublishState::Published ? msg::kPublished : msg::kNotPublished));
    details->setExpanded(true);
}

}  // namespace quibra
