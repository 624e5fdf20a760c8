#pragma once

#include <QColor>
#include <QString>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "config/CXmlSettingsFile.h"

class QPixmap;

namespace quibra {

class CImageButton;
class CSkinDialog;

// Rectangles are left, top, right, bottom in pixels; -1 where absent.
struct SkinRect {
    int left = -1;
    int top = -1;
    int right = -1;
    int bottom = -1;
    // Empty when right <= left or bottom <= top (so an absent one is empty).
    bool IsEmpty() const { return right <= left || bottom <= top; }
    // right - left and bottom - top, as far as an int holds them: a layout file
    // may give any two 32-bit numbers.
    int Width() const { return Span(left, right); }
    int Height() const { return Span(top, bottom); }

private:
    static int Span(int from, int to) {
        return static_cast<int>(std::clamp<int64_t>(int64_t{to} - from, INT_MIN, INT_MAX));
    }
};

struct DialogEntry {
    std::wstring name;
    SkinRect rect;
    std::wstring image;  // full path; empty for none
};

struct ControlEntry {
    std::wstring name;
    SkinRect rect;
    std::wstring image;     // full path; empty for none
    std::wstring tipText;   // the message of tip_msg_id when > 0, else empty
    std::wstring belongTo;  // owning dialog, compared exactly
    int controlId = 0;      // negative ids read as 0
    bool create = false;    // "create" > 0
};

struct ColorEntry {
    std::wstring name;
    uint32_t colour = 0;  // red in the low byte, then green, then blue
};

// The skin's layout file "DialogSkinConfig.xml": dialog, control and colour
// entries in file order, and the two operations that apply them to a dialog.
// The process has one, the second member of AppConfig (Current()). UI thread.
class CSkinLayout : public CXmlSettingsFile {
public:
    static constexpr const wchar_t* kDialogsPath = L"//Wendrake//windowposition//dialog";
    static constexpr const wchar_t* kControlsPath = L"//Wendrake//windowposition//window_control";
    static constexpr const wchar_t* kColorsPath = L"//Wendrake//windowposition//color";

    CSkinLayout();

    // The process-wide layout inside AppConfig::Instance(), installed there
    // on first use (keeping the folder, and loading it again when the plain
    // file it replaces was loaded).
    static CSkinLayout& Current();

    // Opens the file (once, as the base does) and reads the three sections
    // again, each list emptied first. True only when the file is loaded and
    // all three sections were found with at least one child element.
    bool Open() override;
    // Empties the three lists as well.
    void Close() override;
    // The layout file is never written.
    bool Save() override { return false; }

    // The first entry of that name (exact, case-sensitive); null when none.
    const DialogEntry* FindDialog(const std::wstring& name) const;
    const ControlEntry* FindControl(const std::wstring& name) const;
    const std::vector<DialogEntry>& Dialogs() const { return m_dialogs; }
    const std::vector<ControlEntry>& Controls() const { return m_controls; }
    const std::vector<ColorEntry>& Colors() const { return m_colors; }
    // The colour of the first colour entry of that name, else `fallback`.
    QColor Colour(const std::wstring& name, const QColor& fallback) const;

    // Sizes and places `dialog` by the entry (an unknown name applies an
    // empty entry): a non-empty rectangle makes the window frameless, gives it
    // the rectangle's size and centres it; an image that loads becomes the
    // background picture (else the old one stays). Call before showing.
    void ApplyDialogEntry(CSkinDialog& dialog, const std::wstring& entryName) const;
    // Applies every control entry whose owning dialog is `dialogName`
    // (exact): moves existing items, creates the title picture, its
    // description and the close button (id 2), and turns existing items into
    // image buttons (an item that is not a CImageButton is replaced by one
    // with its name, geometry and state, and deleted: templates should
    // declare such buttons as image buttons). Safe to call again: nothing is
    // created twice.
    void ApplyWindowControls(CSkinDialog& dialog, const std::wstring& dialogName) const;

    // The button set-up the windows share: look up `entryName`, load its image
    // and give `button` the strip (four states of a quarter width each); with
    // `moveToRect` move it to the entry's rectangle, else size it to one
    // state. `tip` (when not empty) becomes the tooltip. False, with the
    // button untouched, when the entry is missing or the image does not load.
    bool SetUpButton(CImageButton& button, const std::wstring& entryName, bool moveToRect,
                     const QString& tip = {}) const;

private:
    bool ReadDialogs();
    bool ReadControls();
    bool ReadColors();
    std::wstring ImagePath(const std::wstring& attribute) const;

    std::vector<DialogEntry> m_dialogs;
    std::vector<ControlEntry> m_controls;
    std::vector<ColorEntry> m_colors;
};

}  // namespace quibra
