#include "ui/skin/CSkinLayout.h"

#include <QAbstractButton>

#include "config/AppConfig.h"
#include "i18n/CWenMsg.h"
#include "quibra/CWenNodeList.h"
#include "quibra/CWenXmlError.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CPictureView.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogBackgroundColor.h"
#include "ui/controls/SkinImage.h"

namespace quibra {

namespace {

constexpr const wchar_t* kTitlePicture = L"title_picture";
// Spelled as every skin spells it.
constexpr const wchar_t* kTitleDescription = L"title_picture_descriptioin";
constexpr const wchar_t* kCloseButton = L"close_button";

SkinRect ReadRect(const CWenNode& node) {
    return {node.GetAttributeInt(L"left"), node.GetAttributeInt(L"top"),
            node.GetAttributeInt(L"right"), node.GetAttributeInt(L"bottom")};
}

QRect ToQRect(const SkinRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The child elements of the first section node, or an empty list when the
// file is not loaded or the section is missing or has no element children.
std::vector<CWenNode> SectionElements(const CXmlSettingsFile& file, const wchar_t* path) {
    std::vector<CWenNode> elements;
    if (!file.IsLoaded()) return elements;
    CWenNode section;
    try {
        section = file.GetRoot().SelectSingleNode(path);
    } catch (const CWenXmlError&) {
        return elements;
    }
    if (section.IsNull()) return elements;
    CWenNodeList children = section.GetChildNodes();
    for (CWenNode child = children.Next(); !child.IsNull(); child = children.Next())
        elements.push_back(child);
    return elements;
}

CImageButton::Type TypeOf(const QAbstractButton& button) {
    if (!button.isCheckable()) return CImageButton::Type::Push;
    return button.autoExclusive() ? CImageButton::Type::Radio : CImageButton::Type::CheckBox;
}

}  // namespace

CSkinLayout::CSkinLayout() : CXmlSettingsFile(AppConfig::kSkinLayoutFileName) {}

CSkinLayout& CSkinLayout::Current() {
    AppConfig& config = AppConfig::Instance();
    if (auto* layout = dynamic_cast<CSkinLayout*>(&config.SkinLayout())) return *layout;
    const bool wasLoaded = config.SkinLayout().IsLoaded();
    auto layout = std::make_unique<CSkinLayout>();
    layout->SetFolder(config.SkinLayout().GetFolder());
    CSkinLayout& installed = *layout;
    config.SetSkinLayout(std::move(layout));
    if (wasLoaded) installed.Open();
    return installed;
}

bool CSkinLayout::Open() {
    CXmlSettingsFile::Open();
    // Every section is read even after a failed one, so each list is always
    // what the file holds now.
    const bool dialogs = ReadDialogs();
    const bool controls = ReadControls();
    const bool colors = ReadColors();
    return IsLoaded() && dialogs && controls && colors;
}

void CSkinLayout::Close() {
    CXmlSettingsFile::Close();
    m_dialogs.clear();
    m_controls.clear();
    m_colors.clear();
}

std::wstring CSkinLayout::ImagePath(const std::wstring& attribute) const {
    if (attribute.empty()) return {};
    std::wstring folder = GetFolder();
    if (!folder.empty() && (folder.back() == L'/' || folder.back() == L'\\')) folder.pop_back();
    return folder + L"/image/" + attribute;
}

bool CSkinLayout::ReadDialogs() {
    m_dialogs.clear();
    const std::vector<CWenNode> nodes = SectionElements(*this, kDialogsPath);
    for (const CWenNode& node : nodes)
        m_dialogs.push_back(
            {node.GetAttribute(L"name"), ReadRect(node), ImagePath(node.GetAttribute(L"image"))});
    return !nodes.empty();
}

bool CSkinLayout::ReadControls() {
    m_controls.clear();
    const std::vector<CWenNode> nodes = SectionElements(*this, kControlsPath);
    for (const CWenNode& node : nodes) {
        ControlEntry entry;
        entry.name = node.GetAttribute(L"name");
        const int tipId = node.GetAttributeInt(L"tip_msg_id");
        if (tipId > 0) entry.tipText = CWenMsg::GetInstance().GetMsg(tipId);
        entry.belongTo = node.GetAttribute(L"belong_to");
        entry.controlId = std::max(0, node.GetAttributeInt(L"control_id"));
        entry.create = node.GetAttributeInt(L"create") > 0;
        entry.rect = ReadRect(node);
        entry.image = ImagePath(node.GetAttribute(L"image"));
        m_controls.push_back(std::move(entry));
    }
    return !nodes.empty();
}

bool CSkinLayout::ReadColors() {
    m_colors.clear();
    const std::vector<CWenNode> nodes = SectionElements(*this, kColorsPath);
    for (const CWenNode& node : nodes) {
        const auto byte = [&](const wchar_t* name) {
            return static_cast<uint32_t>(node.GetAttributeInt(name)) & 0xFF;
        };
        m_colors.push_back(
            {node.GetAttribute(L"name"), byte(L"r") | (byte(L"g") << 8) | (byte(L"b") << 16)});
    }
    return !nodes.empty();
}

const DialogEntry* CSkinLayout::FindDialog(const std::wstring& name) const {
    for (const DialogEntry& entry : m_dialogs)
        if (entry.name == name) return &entry;
    return nullptr;
}

QColor CSkinLayout::Colour(const std::wstring& name, const QColor& fallback) const {
    for (const ColorEntry& entry : m_colors)
        if (entry.name == name) return DialogBackgroundColor::ToQColor(entry.colour);
    return fallback;
}

const ControlEntry* CSkinLayout::FindControl(const std::wstring& name) const {
    for (const ControlEntry& entry : m_controls)
        if (entry.name == name) return &entry;
    return nullptr;
}

void CSkinLayout::ApplyDialogEntry(CSkinDialog& dialog, const std::wstring& entryName) const {
    const DialogEntry* found = FindDialog(entryName);
    const DialogEntry entry = found != nullptr ? *found : DialogEntry{};
    if (!entry.rect.IsEmpty()) {
        const bool wasVisible = dialog.isVisible();
        dialog.setWindowFlag(Qt::FramelessWindowHint, true);
        // The skin's size is the window's: nothing in it follows a resize.
        dialog.setFixedSize(entry.rect.Width(), entry.rect.Height());
        dialog.move(entry.rect.left, entry.rect.top);
        dialog.CenterWindow();
        // Changing the window flags hides a shown window.
        if (wasVisible) dialog.show();
    }
    const QPixmap picture = SkinImage::Load(entry.image);
    if (!picture.isNull()) {
        dialog.Background().SetPicture(picture);
        dialog.update();
    }
}

bool CSkinLayout::SetUpButton(CImageButton& button, const std::wstring& entryName, bool moveToRect,
                              const QString& tip) const {
    const ControlEntry* entry = FindControl(entryName);
    if (entry == nullptr) return false;
    const QPixmap strip = SkinImage::Load(entry->image);
    if (!button.SetStrip(strip)) return false;
    if (moveToRect)
        button.setGeometry(ToQRect(entry->rect));
    else
        button.resize(strip.width() / 4, strip.height());
    if (!tip.isEmpty())
        button.SetToolTipText(tip);
    else if (button.accessibleName().isEmpty())
        button.setAccessibleName(QString::fromStdWString(entry->tipText));
    return true;
}

void CSkinLayout::ApplyWindowControls(CSkinDialog& dialog, const std::wstring& dialogName) const {
    for (const ControlEntry& entry : m_controls) {
        if (entry.belongTo != dialogName) continue;
        const QString tip = QString::fromStdWString(entry.tipText);
        if (!entry.create) {
            // An entry without a rectangle would shrink the item to nothing.
            if (QWidget* item = dialog.Item(entry.controlId); item && !entry.rect.IsEmpty())
                item->setGeometry(ToQRect(entry.rect));
        } else if (entry.name == kTitlePicture) {
            if (entry.controlId == 0 || entry.rect.IsEmpty() ||
                dialog.PictureControl(entry.controlId) != nullptr)
                continue;
            auto* view = new CPictureView(&dialog);
            view->setObjectName(QString::number(entry.controlId));
            view->setGeometry(ToQRect(entry.rect));
            view->ShowFile(QString::fromStdWString(entry.image), QStringLiteral("jpg"));
            view->show();
            dialog.AddPictureControl(entry.controlId, view);
        } else if (entry.name == kTitleDescription) {
            if (entry.controlId == 0 || dialog.TextControl(entry.controlId) != nullptr) continue;
            auto* text = new CTransparentStatic(
                &dialog, CTransparentStatic::CenterImage | CTransparentStatic::EndEllipsis);
            text->setObjectName(QString::number(entry.controlId));
            text->setGeometry(ToQRect(entry.rect));
            text->setText(tip);
            text->show();
            dialog.AddTextControl(entry.controlId, text);
        } else if (entry.name == kCloseButton) {
            if (entry.rect.IsEmpty()) continue;
            bool made = false;
            for (CImageButton* button : dialog.Background().Buttons())
                if (button->objectName() == QLatin1String("2")) made = true;
            if (made) continue;
            auto* button = new CImageButton(&dialog);
            button->setObjectName(QString::number(CSkinDialog::kCancel));
            button->setGeometry(ToQRect(entry.rect));
            button->SetStrip(SkinImage::Load(entry.image));
            button->SetToolTipText(tip);
            dialog.ConnectCommand(button, CSkinDialog::kCancel);
            dialog.Background().AddButton(button);
            button->show();
        } else {
            QWidget* item = dialog.Item(entry.controlId);
            if (item == nullptr) continue;
            auto* button = qobject_cast<CImageButton*>(item);
            if (button == nullptr) {
                // A plain button of the template is replaced by an image button
                // in its place, with its name, state and tab position.
                auto* plain = qobject_cast<QAbstractButton*>(item);
                button =
                    new CImageButton(&dialog, plain ? TypeOf(*plain) : CImageButton::Type::Push);
                button->setObjectName(item->objectName());
                button->setGeometry(item->geometry());
                button->setEnabled(item->isEnabled());
                if (plain != nullptr) button->setChecked(plain->isChecked());
                QWidget::setTabOrder(item, button);
                button->setVisible(!item->isHidden());
                dialog.ConnectCommand(button, entry.controlId);
                delete item;
            }
            const QPixmap strip = SkinImage::Load(entry.image);
            if (!strip.isNull()) button->SetStrip(strip);
            if (!tip.isEmpty()) button->SetToolTipText(tip);
            if (!entry.rect.IsEmpty()) button->setGeometry(ToQRect(entry.rect));
            dialog.Background().AddButton(button);
        }
    }
}

}  // namespace quibra
