// The main window's controls declared as data: one row per control, with
// its kind, parent, place, caption, items, tab order and bound handler.
// The window is built from these rows once; nothing moves a control later.
#pragma once

#include <span>

class QObject;
class QWidget;
class TForm1;

enum class ControlKind {
    Button,
    Label,
    Edit,
    CheckBox,
    DropDown,  // closed drop-down list, no free text
    ListBox,
    GroupBox,
    TrackBar,
    PageControl,
    TabPage,
};

// A control aligned to an edge of its parent takes the parent's full width
// and keeps its height there, whatever size the parent has.
enum class Align { None, Top, Bottom };

using Handler = void (TForm1::*)(QObject* sender);

struct ControlDecl {
    ControlKind kind = ControlKind::Label;
    const char* name = "";
    const char* parent = "";  // "" for the window itself
    int left = 0, top = 0, width = 0, height = 0;
    const char* caption = nullptr;
    std::span<const char* const> items = {};
    int tabOrder = -1;  // -1: takes no focus
    Handler handler = nullptr;
    Align align = Align::None;
    int maxLength = 0;  // edit boxes: 0 for no limit
    bool hidden = false;
    bool bold = false;
    const char* hint = nullptr;  // tooltip
};

// Every control of the main window, parents before their children, and
// siblings in stacking order (a later one covers an earlier one).
std::span<const ControlDecl> MainFormLayout();

// The window's own properties.
inline constexpr int kClientWidth = 425;
inline constexpr int kClientHeight = 453;
inline constexpr const char* kWindowCaption = "Lumagrabber - configuration";
// The text height the layout was designed for.
inline constexpr int kDesignTextHeight = 13;

// Item lists: their order maps to stored values.
extern const char* const kVirtualKeyItems[48];
extern const char* const kGrabMethodItems[5];
extern const char* const kColorDepthItems[8];
extern const char* const kPcxColorDepthItems[3];
extern const char* const kTgaColorDepthItems[2];

// Creates the controls of layout under window, each with its name as its
// Qt object name, scaled by scale, and sets the focus chain from the tab
// orders. Handlers are not connected here.
void BuildControls(QWidget* window, std::span<const ControlDecl> layout, double scale);
