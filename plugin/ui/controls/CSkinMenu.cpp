#include "ui/controls/CSkinMenu.h"

#include <QAction>
#include <QMenu>

#include "ui/controls/DialogFont.h"
#include "ui/controls/SkinMenuStyle.h"

namespace quibra {

namespace {
constexpr const char* kCommandProperty = "quibraCommandId";
}

CSkinMenu::CSkinMenu(QWidget* parent)
    : m_style(std::make_unique<SkinMenuStyle>()), m_menu(new QMenu(parent)) {
    m_menu->setStyle(m_style.get());
    if (const QFont* font = DialogFont::Get()) m_menu->setFont(*font);
}

CSkinMenu::~CSkinMenu() {
    // The menu goes before the style it paints with (unless its parent took it).
    delete m_menu.data();
}

void CSkinMenu::SetStyle(int style) {
    m_style->drawingStyle = style;
    m_menu->update();
}

int CSkinMenu::Style() const {
    return m_style->drawingStyle;
}

void CSkinMenu::SetItemSize(int width, int height) {
    if (width > 0) m_style->itemWidth = width;
    if (height > 0) m_style->itemHeight = height;
}

QAction* CSkinMenu::AddItem(unsigned flags, int commandId, const QString& label,
                            const QPixmap& bitmap, quintptr data) {
    ItemRecord record;
    record.bitmap = bitmap;
    record.data = data;
    record.width = m_style->itemWidth;
    record.height = m_style->itemHeight;
    QAction* action = nullptr;
    if (flags & Separator) {
        action = m_menu->addSeparator();
    } else {
        QString text = label.size() > 100 ? label.left(97) + QStringLiteral("...") : label;
        const qsizetype tab = text.indexOf('\t');
        record.text = tab >= 0 ? text.left(tab) : text;
        record.shortcutText = tab >= 0 ? text.mid(tab + 1) : QString();
        // The shortcut text is not left in the label, where QMenu would widen
        // the menu by a column of its own; the skin's style paints it.
        action = m_menu->addAction(record.text);
        action->setProperty(SkinMenuStyle::kShortcutProperty, record.shortcutText);
        if (!bitmap.isNull()) action->setIcon(QIcon(bitmap));
        action->setCheckable((flags & Checked) != 0);
        action->setChecked((flags & Checked) != 0);
        action->setEnabled((flags & Grayed) == 0);
    }
    action->setProperty(kCommandProperty, commandId);
    action->setData(QVariant::fromValue<qulonglong>(data));
    m_items.push_back(std::move(record));
    return action;
}

void CSkinMenu::RemoveAll() {
    m_menu->clear();
    m_items.clear();
}

QAction* CSkinMenu::Item(int commandId) const {
    for (QAction* action : m_menu->actions())
        if (!action->isSeparator() && CommandId(action) == commandId) return action;
    return nullptr;
}

void CSkinMenu::EnableItem(int commandId, bool enabled) {
    if (QAction* action = Item(commandId)) action->setEnabled(enabled);
}

void CSkinMenu::CheckItem(int commandId, bool checked) {
    if (QAction* action = Item(commandId)) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

int CSkinMenu::Exec(const QPoint& globalPos) {
    return CommandId(m_menu->exec(globalPos));
}

int CSkinMenu::CommandId(const QAction* action) {
    return action == nullptr ? 0 : action->property(kCommandProperty).toInt();
}

}  // namespace quibra
