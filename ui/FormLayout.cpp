#include "ui/FormLayout.h"

#include "model/ActionCodes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "ui/MainForm.h"

const char* const kVirtualKeyItems[48] = {
    "0", "1", "2", "3", "4",  "5",  "6",  "7",  "8",  "9",  "A",  "B",  "C",  "D",   "E",   "F",
    "G", "H", "I", "J", "K",  "L",  "M",  "N",  "O",  "P",  "Q",  "R",  "S",  "T",   "U",   "V",
    "W", "X", "Y", "Z", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12"};
const char* const kGrabMethodItems[5] = {"Full Screen", "Top Window", "Top Window's Client Area",
                                         "Rectangle with predefined size", "Arbitrary Rectangle"};
const char* const kColorDepthItems[8] = {
    "Default Screen", "1 bit (2 colors)",    "4 bit (16 colors)",  "8 bit (256 colors)",
    "15 bit",         "16 bit (64K colors)", "24 bit (1M colors)", "32 bit"};
const char* const kPcxColorDepthItems[3] = {"1 bit (2 colors)", "4 bit (16 colors)",
                                            "8 bit (256 colors)"};
const char* const kTgaColorDepthItems[2] = {"8 bit (256 colors)", "24 bit (16M colors)"};

namespace {

using K = ControlKind;
using T = TForm1;

// clang-format off
const ControlDecl kLayout[] = {
    // The window itself.
    {.kind = K::Button, .name = "btnHelp", .left = 8, .top = 424, .width = 75, .height = 25, .caption = "&Help", .tabOrder = 0, .handler = &T::btnHelpClick},
    {.kind = K::Button, .name = "btnOK", .left = 184, .top = 424, .width = 75, .height = 25, .caption = "&OK", .tabOrder = 1, .handler = &T::btnOKClick},
    {.kind = K::Button, .name = "btnCancel", .left = 264, .top = 424, .width = 75, .height = 25, .caption = "&Cancel", .tabOrder = 2, .handler = &T::btnCancelClick},
    {.kind = K::Button, .name = "btnApply", .left = 344, .top = 424, .width = 75, .height = 25, .caption = "&Apply", .tabOrder = 3, .handler = &T::btnApplyClick},
    {.kind = K::PageControl, .name = "PageControl", .left = 0, .top = 0, .width = 425, .height = 417, .tabOrder = 4, .align = Align::Top},
    {.kind = K::TabPage, .name = "TabGeneral", .parent = "PageControl", .width = 417, .caption = "General"},
    {.kind = K::TabPage, .name = "TabActions", .parent = "PageControl", .width = 417, .caption = "Actions"},

    // General page.
    {.kind = K::GroupBox, .name = "grpProductInfo", .parent = "TabGeneral", .left = 0, .top = 0, .width = 417, .height = 249, .tabOrder = 0, .align = Align::Top},
    {.kind = K::Label, .name = "title", .parent = "grpProductInfo", .left = 8, .top = 8, .width = 148, .height = 13, .caption = "Lumagrabber version 3.00", .bold = true},
    {.kind = K::CheckBox, .name = "chkShowIconOnStartup", .parent = "TabGeneral", .left = 8, .top = 256, .width = 249, .height = 17, .caption = "Show Icon On Startup", .tabOrder = 1},
    {.kind = K::CheckBox, .name = "chkStartOnStartup", .parent = "TabGeneral", .left = 8, .top = 280, .width = 249, .height = 17, .caption = "Start Lumagrabber On Startup", .tabOrder = 2},
    {.kind = K::Button, .name = "btnRun", .parent = "TabGeneral", .left = 336, .top = 256, .width = 75, .height = 25, .caption = "RunButton", .tabOrder = 3, .hidden = true},
    {.kind = K::Label, .name = "lblGlobalDir", .parent = "TabGeneral", .left = 8, .top = 304, .width = 82, .height = 13, .caption = "Target Directory: "},
    {.kind = K::Edit, .name = "edGlobalDir", .parent = "TabGeneral", .left = 96, .top = 304, .width = 233, .height = 21, .tabOrder = 4},
    {.kind = K::Button, .name = "btnBrowseGlobal", .parent = "TabGeneral", .left = 336, .top = 304, .width = 75, .height = 25, .caption = "&Browse...", .tabOrder = 5, .handler = &T::btnBrowseGlobalClick},
    {.kind = K::Label, .name = "lblDefaultSound", .parent = "TabGeneral", .left = 8, .top = 328, .width = 74, .height = 13, .caption = "Default Sound: "},
    {.kind = K::Edit, .name = "edDefaultSound", .parent = "TabGeneral", .left = 88, .top = 328, .width = 241, .height = 21, .tabOrder = 6},
    {.kind = K::Button, .name = "btnBrowseDefaultSound", .parent = "TabGeneral", .left = 336, .top = 328, .width = 75, .height = 25, .caption = "Find Sound...", .tabOrder = 7, .handler = &T::btnBrowseDefaultSoundClick},
    {.kind = K::Button, .name = "btnLoad", .parent = "TabGeneral", .left = 8, .top = 360, .width = 121, .height = 25, .caption = "Load Profile From File", .tabOrder = 8, .handler = &T::btnLoadClick},
    {.kind = K::Button, .name = "btnSave", .parent = "TabGeneral", .left = 144, .top = 360, .width = 113, .height = 25, .caption = "Save Profile To File", .tabOrder = 9, .handler = &T::btnSaveClick},
    {.kind = K::Button, .name = "btnRevert", .parent = "TabGeneral", .left = 272, .top = 360, .width = 137, .height = 25, .caption = "Revert To Default Profile", .tabOrder = 10, .handler = &T::btnRevertClick},

    // Actions page.
    {.kind = K::GroupBox, .name = "grpAction", .parent = "TabActions", .left = 0, .top = 0, .width = 417, .height = 105, .caption = "Action", .tabOrder = 0},
    {.kind = K::ListBox, .name = "lstActions", .parent = "grpAction", .left = 8, .top = 16, .width = 321, .height = 81, .tabOrder = 0, .handler = &T::lstActionsClick},
    {.kind = K::Button, .name = "btnNewAction", .parent = "grpAction", .left = 336, .top = 16, .width = 75, .height = 25, .caption = "&New", .tabOrder = 1, .handler = &T::btnNewActionClick},
    {.kind = K::Button, .name = "btnDelete", .parent = "grpAction", .left = 336, .top = 48, .width = 75, .height = 25, .caption = "&Delete", .tabOrder = 2, .handler = &T::btnDeleteClick},
    {.kind = K::GroupBox, .name = "grbActionPropertyes", .parent = "TabActions", .left = 0, .top = 0, .width = 417, .height = 285, .tabOrder = 1, .align = Align::Bottom},
    {.kind = K::Label, .name = "lblActionName", .parent = "grbActionPropertyes", .left = 8, .top = 16, .width = 34, .height = 13, .caption = "Name: "},
    {.kind = K::Edit, .name = "edActionName", .parent = "grbActionPropertyes", .left = 48, .top = 16, .width = 361, .height = 21, .tabOrder = 0},
    {.kind = K::Label, .name = "lblActionDir", .parent = "grbActionPropertyes", .left = 8, .top = 48, .width = 48, .height = 13, .caption = "Directory: "},
    {.kind = K::Edit, .name = "edActionDir", .parent = "grbActionPropertyes", .left = 56, .top = 48, .width = 273, .height = 21, .tabOrder = 1},
    {.kind = K::Button, .name = "btnBrowse", .parent = "grbActionPropertyes", .left = 336, .top = 48, .width = 75, .height = 25, .caption = "&Browse...", .tabOrder = 2, .handler = &T::btnBrowseClick},
    {.kind = K::Label, .name = "lblActionKey", .parent = "grbActionPropertyes", .left = 56, .top = 80, .width = 24, .height = 13, .caption = "Key: "},
    {.kind = K::CheckBox, .name = "chkAlt", .parent = "grbActionPropertyes", .left = 128, .top = 80, .width = 49, .height = 17, .caption = "Alt", .tabOrder = 3},
    {.kind = K::CheckBox, .name = "chkCtrl", .parent = "grbActionPropertyes", .left = 184, .top = 80, .width = 49, .height = 17, .caption = "Ctrl", .tabOrder = 4},
    {.kind = K::CheckBox, .name = "chkShift", .parent = "grbActionPropertyes", .left = 240, .top = 80, .width = 57, .height = 17, .caption = "Shift", .tabOrder = 5},
    {.kind = K::DropDown, .name = "lstVirtualKey", .parent = "grbActionPropertyes", .left = 312, .top = 80, .width = 97, .height = 21, .items = kVirtualKeyItems, .tabOrder = 6},
    {.kind = K::Label, .name = "lblActionSound", .parent = "grbActionPropertyes", .left = 8, .top = 104, .width = 34, .height = 13, .caption = "Sound:"},
    {.kind = K::Edit, .name = "edActionSound", .parent = "grbActionPropertyes", .left = 48, .top = 104, .width = 281, .height = 21, .tabOrder = 17},
    {.kind = K::Button, .name = "btnBrowseSound", .parent = "grbActionPropertyes", .left = 336, .top = 104, .width = 75, .height = 25, .caption = "&Find Sound...", .tabOrder = 18, .handler = &T::btnBrowseSoundClick},
    {.kind = K::CheckBox, .name = "chkSaveToClipboard", .parent = "grbActionPropertyes", .left = 8, .top = 144, .width = 113, .height = 17, .caption = "Save To Clipboard", .tabOrder = 19, .handler = &T::chkSaveToClipboardClick},
    {.kind = K::Label, .name = "lblFileExtension", .parent = "grbActionPropertyes", .left = 144, .top = 144, .width = 57, .height = 13, .caption = "File Format: "},
    {.kind = K::CheckBox, .name = "chkQuerryFName", .parent = "grbActionPropertyes", .left = 248, .top = 144, .width = 161, .height = 17, .caption = "Show SaveAs Dialog", .tabOrder = 7},
    {.kind = K::CheckBox, .name = "chkQuitAction", .parent = "grbActionPropertyes", .left = 8, .top = 168, .width = 129, .height = 17, .caption = "Stop After Action", .tabOrder = 8},
    {.kind = K::DropDown, .name = "lstFileExtension", .parent = "grbActionPropertyes", .left = 144, .top = 168, .width = 97, .height = 21, .items = codes::kFormats, .tabOrder = 11, .handler = &T::lstFileExtensionChange},
    {.kind = K::GroupBox, .name = "grpGrabArea", .parent = "grbActionPropertyes", .left = 8, .top = 192, .width = 233, .height = 89, .caption = "Grab", .tabOrder = 10},
    {.kind = K::DropDown, .name = "lstGrabMethod", .parent = "grpGrabArea", .left = 8, .top = 16, .width = 217, .height = 21, .items = kGrabMethodItems, .tabOrder = 0, .handler = &T::lstGrabMethodChange},
    {.kind = K::Label, .name = "lblCustomRectHeight", .parent = "grpGrabArea", .left = 64, .top = 40, .width = 37, .height = 13, .caption = "Height: "},
    {.kind = K::Edit, .name = "edCustomRectHeight", .parent = "grpGrabArea", .left = 112, .top = 40, .width = 113, .height = 21, .tabOrder = 1},
    {.kind = K::Label, .name = "lblCustomRectWidth", .parent = "grpGrabArea", .left = 64, .top = 64, .width = 34, .height = 13, .caption = "Width: "},
    {.kind = K::Edit, .name = "edCustomRectWidth", .parent = "grpGrabArea", .left = 112, .top = 64, .width = 113, .height = 21, .tabOrder = 2},

    // The six details groups share one place; later ones cover earlier ones.
    {.kind = K::GroupBox, .name = "grpTgaDetails", .parent = "grbActionPropertyes", .left = 248, .top = 168, .width = 161, .height = 113, .caption = "Color Depth", .tabOrder = 15},
    {.kind = K::DropDown, .name = "cbTGAColorDepth", .parent = "grpTgaDetails", .left = 8, .top = 16, .width = 145, .height = 21, .items = kTgaColorDepthItems, .tabOrder = 0, .handler = &T::lstColorDepthChange},
    {.kind = K::GroupBox, .name = "grpBmpDetails", .parent = "grbActionPropertyes", .left = 248, .top = 168, .width = 161, .height = 113, .caption = "Color Depth", .tabOrder = 9},
    {.kind = K::DropDown, .name = "lstColorDepth", .parent = "grpBmpDetails", .left = 8, .top = 16, .width = 145, .height = 21, .items = kColorDepthItems, .tabOrder = 3, .handler = &T::lstColorDepthChange},
    {.kind = K::CheckBox, .name = "chkPrevent15bit", .parent = "grpBmpDetails", .left = 8, .top = 40, .width = 145, .height = 17, .caption = "Force 15bit to 24bit", .tabOrder = 0},
    {.kind = K::CheckBox, .name = "chkPrevent16bit", .parent = "grpBmpDetails", .left = 8, .top = 64, .width = 145, .height = 17, .caption = "Force 16bit to 24bit", .tabOrder = 1},
    {.kind = K::CheckBox, .name = "chkPrevent32bit", .parent = "grpBmpDetails", .left = 8, .top = 88, .width = 145, .height = 17, .caption = "Force 32bit to 24bit", .tabOrder = 2},
    {.kind = K::GroupBox, .name = "grpJpgDetails", .parent = "grbActionPropertyes", .left = 248, .top = 168, .width = 161, .height = 113, .caption = "Image Quality", .tabOrder = 12},
    {.kind = K::TrackBar, .name = "tbCompressionQuality", .parent = "grpJpgDetails", .left = 8, .top = 16, .width = 145, .height = 33, .tabOrder = 0, .handler = &T::tbCompressionQualityChange, .hint = "1"},
    {.kind = K::Label, .name = "Label2", .parent = "grpJpgDetails", .left = 8, .top = 48, .width = 6, .height = 13, .caption = "1"},
    {.kind = K::Label, .name = "Label3", .parent = "grpJpgDetails", .left = 128, .top = 48, .width = 18, .height = 13, .caption = "100"},
    {.kind = K::Edit, .name = "edCompressionQuality", .parent = "grpJpgDetails", .left = 88, .top = 80, .width = 57, .height = 21, .tabOrder = 1, .handler = &T::edCompressionQualityChange, .maxLength = 3},
    {.kind = K::GroupBox, .name = "grpPcxDetails", .parent = "grbActionPropertyes", .left = 248, .top = 168, .width = 161, .height = 113, .caption = "Color Depth", .tabOrder = 13},
    {.kind = K::DropDown, .name = "cbPCXColorDepth", .parent = "grpPcxDetails", .left = 8, .top = 16, .width = 145, .height = 21, .items = kPcxColorDepthItems, .tabOrder = 0, .handler = &T::lstColorDepthChange},
    {.kind = K::GroupBox, .name = "grpTifDetails", .parent = "grbActionPropertyes", .left = 248, .top = 168, .width = 161, .height = 113, .tabOrder = 14},
    {.kind = K::GroupBox, .name = "grpNODetails", .parent = "grbActionPropertyes", .left = 248, .top = 168, .width = 161, .height = 113, .tabOrder = 16},
};
// clang-format on

// List box entries of one fixed height.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    FixedHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

private:
    int height_;
};

// Keeps an aligned control on its edge of the parent whenever the parent
// changes size (the tab pages get theirs from the page control).
class AlignKeeper : public QObject {
public:
    AlignKeeper(QWidget* control, Align align, int height)
        : QObject(control), control_(control), align_(align), height_(height) {
        control->parentWidget()->installEventFilter(this);
        Place();
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Show) Place();
        return false;
    }

private:
    void Place() {
        const QSize p = control_->parentWidget()->size();
        const int top = align_ == Align::Top ? 0 : p.height() - height_;
        control_->setGeometry(0, top, p.width(), height_);
    }

    QWidget* control_;
    Align align_;
    int height_;
};

// Keeps the pages of a page control at their declared width, centred in
// the page area, whatever frame the style draws around them.
class PageWidthKeeper : public QObject {
public:
    PageWidthKeeper(QStackedWidget* pages, int width)
        : QObject(pages), pages_(pages), width_(width) {
        setObjectName(kName);
        pages->installEventFilter(this);
        Place();
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Show) Place();
        return false;
    }
    static constexpr const char* kName = "pageWidthKeeper";

private:
    void Place() {
        const QMargins m = pages_->contentsMargins();
        const int spare = std::max(0, pages_->width() - 2 * pages_->frameWidth() - width_);
        if (m.left() + m.right() == spare) return;
        pages_->setContentsMargins(spare / 2, m.top(), spare - spare / 2, m.bottom());
    }

    QStackedWidget* pages_;
    int width_;
};

QWidget* Create(const ControlDecl& d, QWidget* parent, double scale) {
    const QString caption = d.caption ? QString::fromUtf8(d.caption) : QString();
    QWidget* w = nullptr;
    switch (d.kind) {
        case K::Button: {
            auto* b = new QPushButton(caption, parent);
            b->setAutoDefault(false);
            b->setDefault(false);
            w = b;
            break;
        }
        case K::Label: {
            auto* l = new QLabel(caption, parent);
            l->setTextFormat(Qt::PlainText);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = l;
            break;
        }
        case K::Edit: {
            auto* e = new QLineEdit(parent);
            // Without a limit of its own an edit must never shorten a value
            // (Qt's default limit is 32,767 characters).
            e->setMaxLength(d.maxLength > 0 ? d.maxLength : std::numeric_limits<int>::max());
            w = e;
            break;
        }
        case K::CheckBox:
            w = new QCheckBox(caption, parent);
            break;
        case K::DropDown: {
            auto* c = new QComboBox(parent);
            c->setEditable(false);
            for (const char* item : d.items) c->addItem(QString::fromUtf8(item));
            c->setCurrentIndex(-1);
            c->setMaxVisibleItems(8);
            w = c;
            break;
        }
        case K::ListBox: {
            auto* l = new QListWidget(parent);
            l->setSelectionMode(QAbstractItemView::SingleSelection);
            l->setSortingEnabled(false);
            l->setUniformItemSizes(true);
            l->setItemDelegate(
                new FixedHeightDelegate(static_cast<int>(std::lround(13 * scale)), l));
            w = l;
            break;
        }
        case K::GroupBox:
            w = new QGroupBox(caption, parent);
            // Opaque, so that a later group covers the ones beneath it.
            w->setAutoFillBackground(true);
            break;
        case K::TrackBar: {
            auto* s = new QSlider(Qt::Horizontal, parent);
            s->setRange(codes::kMinQuality, codes::kMaxQuality);
            s->setValue(codes::kDefaultQuality);
            s->setTickPosition(QSlider::TicksBelow);
            s->setTickInterval(10);
            s->setSingleStep(1);
            s->setPageStep(1);
            w = s;
            break;
        }
        case K::PageControl:
            // Focus goes to its tab strip, which takes the page control's place in the order.
            w = new QTabWidget(parent);
            w->setFocusPolicy(Qt::NoFocus);
            static_cast<QTabWidget*>(w)->tabBar()->setFocusPolicy(Qt::TabFocus);
            break;
        case K::TabPage: {
            w = new QWidget();
            // The window's colour, as the opaque groups on it.
            w->setAutoFillBackground(true);
            auto* pageControl = static_cast<QTabWidget*>(parent);
            pageControl->addTab(w, caption);
            auto* pages = pageControl->findChild<QStackedWidget*>();
            if (d.width > 0 && pages &&
                !pages->findChild<QObject*>(PageWidthKeeper::kName, Qt::FindDirectChildrenOnly)) {
                new PageWidthKeeper(pages, static_cast<int>(std::lround(d.width * scale)));
            }
            break;
        }
    }
    w->setObjectName(QString::fromUtf8(d.name));
    if (d.hint) w->setToolTip(QString::fromUtf8(d.hint));
    if (d.bold) {
        QFont f = parent->font();
        f.setBold(true);
        w->setFont(f);
    }
    if (d.tabOrder < 0 && d.kind != K::TabPage && d.kind != K::PageControl) {
        w->setFocusPolicy(Qt::NoFocus);
    }
    if (d.kind == K::GroupBox) w->setFocusPolicy(Qt::NoFocus);
    auto px = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
    if (d.kind != K::TabPage) {
        w->setGeometry(px(d.left), px(d.top), px(d.width), px(d.height));
        if (d.kind == K::Label)
            w->resize(w->sizeHint().width(), px(d.height));  // sizes to its caption
        if (d.align != Align::None) new AlignKeeper(w, d.align, px(d.height));
    }
    if (d.hidden) w->setVisible(false);
    return w;
}

struct Node {
    const ControlDecl* decl;
    QWidget* widget;
    std::vector<Node*> children;
};

// The focus chain is the depth-first walk of the tab orders.
void Chain(const Node& node, std::vector<QWidget*>& order) {
    std::vector<Node*> kids = node.children;
    std::stable_sort(kids.begin(), kids.end(), [](const Node* a, const Node* b) {
        return a->decl->tabOrder < b->decl->tabOrder;
    });
    for (Node* kid : kids) {
        if (kid->decl->tabOrder < 0 && kid->decl->kind != K::TabPage) continue;
        if (kid->decl->kind == K::PageControl) {
            order.push_back(static_cast<QTabWidget*>(kid->widget)->tabBar());  // the tab strip
        } else if (kid->widget->focusPolicy() != Qt::NoFocus) {
            order.push_back(kid->widget);
        }
        Chain(*kid, order);
    }
}

}  // namespace

std::span<const ControlDecl> MainFormLayout() {
    return kLayout;
}

void BuildControls(QWidget* window, std::span<const ControlDecl> layout, double scale) {
    std::vector<Node> nodes(layout.size());
    QHash<QString, Node*> byName;
    Node root{nullptr, window, {}};
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const ControlDecl& d = layout[i];
        Node* parent = *d.parent ? byName.value(QString::fromUtf8(d.parent)) : &root;
        Q_ASSERT(parent);
        nodes[i] = {&d, Create(d, parent->widget, scale), {}};
        parent->children.push_back(&nodes[i]);
        byName.insert(QString::fromUtf8(d.name), &nodes[i]);
    }
    std::vector<QWidget*> order;
    Chain(root, order);
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}
