// Building a form from its stored layout: the window, the elements, their fonts, pictures and
// platform controls, and the binding of their events to handlers by name.
#include <stdexcept>

#include "Application.h"
#include "Form.h"
#include "GifPlayer.h"
#include "Picture.h"

void Form::CreateFromResource(const char* resourceName, const HandlerTable& handlers) {
    HRSRC resource = FindResourceA(nullptr, resourceName, MAKEINTRESOURCEA(10));
    HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) throw std::runtime_error(std::string("The window layout ") + resourceName + " is missing");
    FormLayout layout;
    std::string error;
    if (!ParseLayout(static_cast<const uint8_t*>(bytes), SizeofResource(nullptr, resource), layout, error))
        throw std::runtime_error(std::string("The window layout ") + resourceName + " is broken: " + error);
    CreateFromLayout(layout, handlers);
}

Handler Form::Bound(const HandlerTable& handlers, const std::vector<EventBinding>& events, const char* event,
                    const std::string& owner) {
    const std::string name = HandlerFor(events, event);
    if (name.empty()) return nullptr;
    auto found = handlers.find(name);
    if (found == handlers.end())
        throw std::runtime_error("The layout binds " + owner + "." + event + " to " + name + ", which does not exist");
    return found->second;
}

void Form::CreateFromLayout(const FormLayout& layout, const HandlerTable& handlers) {
    name_ = layout.name;
    className_ = layout.className;
    onCreate = Bound(handlers, layout.events, "OnCreate", name_);
    onActivate = Bound(handlers, layout.events, "OnActivate", name_);
    onClose = Bound(handlers, layout.events, "OnClose", name_);
    if (Handler keyDown = Bound(handlers, layout.events, "OnKeyDown", name_))
        onKeyDown = [this, keyDown](WPARAM key) {
            keyCode_ = key;
            keyDown();
        };
    BuildWindow(layout);
    BuildElements(layout, handlers);
    Application.AddForm(this);
    if (onCreate) onCreate();
}

static FontLook FontLookOf(const FontLayout& font) {
    FontLook look;
    look.face = font.face;
    look.height = font.height;
    look.bold = font.style & kFontBold;
    look.italic = font.style & kFontItalic;
    look.underline = font.style & kFontUnderline;
    look.color = font.colour;
    look.charset = font.charset;
    return look;
}

HFONT Form::FontFor(const FontLook& look) {
    const std::string key = look.face + "|" + std::to_string(look.height) + "|" + std::to_string(look.bold) +
                            std::to_string(look.italic) + std::to_string(look.underline) + "|" +
                            std::to_string(look.charset);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second.get();
    // A negative height asks for the character height, without the internal leading.
    HFONT font = CreateFontA(-look.height, 0, 0, 0, look.bold ? FW_BOLD : FW_NORMAL, look.italic, look.underline, FALSE,
                             BYTE(look.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, look.face.c_str());
    fonts_[key].reset(font);
    return font;
}

void Form::BuildWindow(const FormLayout& layout) {
    border_ = layout.border;
    position_ = layout.position;
    color_ = layout.colour;
    font_ = FontLookOf(layout.font);
    keyPreview_ = layout.keyPreview;
    caption_ = layout.caption;
    clientWidth_ = layout.clientWidth;
    clientHeight_ = layout.clientHeight;

    windowClass_ = className_;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = Application.Instance();
    wc.hIcon = Application.Icon();
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = windowClass_.c_str();
    RegisterClassA(&wc);

    DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    if (border_ == BorderStyle::Dialog) {
        style |= WS_CAPTION | WS_SYSMENU;
        exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    }
    RECT outer = {0, 0, clientWidth_, clientHeight_};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    outerWidth_ = outer.right - outer.left;
    outerHeight_ = outer.bottom - outer.top;
    CreateWindowExA(exStyle, windowClass_.c_str(), caption_.c_str(), style, 0, 0, outerWidth_, outerHeight_,
                    Application.Handle(), nullptr, Application.Instance(), this);
    if (!hwnd_ && !Application.AllowWindowless)
        throw std::runtime_error("The window " + name_ + " could not be created");
}

void Form::BuildElements(const FormLayout& layout, const HandlerTable& handlers) {
    for (const PictureData& data : layout.pictures) {
        std::unique_ptr<Picture> picture(new Picture);
        std::string error;
        if (data.format == PictureFormat::Jpeg && !picture->LoadJpeg(data.bytes.data(), data.bytes.size(), error))
            throw std::runtime_error("A picture of " + name_ + " is broken: " + error);
        pictures_.push_back(std::move(picture));
    }
    elements_.reserve(layout.elements.size());
    players_.resize(layout.elements.size());
    for (const ElementLayout& l : layout.elements) {
        Element e;
        e.kind = l.kind;
        e.name = l.name;
        e.left = l.left;
        e.top = l.top;
        e.width = l.width;
        e.height = l.height;
        if (!l.parent.empty()) {
            e.parent = IndexOf(l.parent);
            e.left += elements_[size_t(e.parent)].left;
            e.top += elements_[size_t(e.parent)].top;
        }
        e.visible = l.visible;
        e.enabled = l.enabled;
        e.autoSize = l.autoSize;
        e.transparent = l.transparent;
        e.ownFont = l.ownFont;
        e.font = l.ownFont ? FontLookOf(l.font) : font_;
        e.textColor = e.font.color;
        e.hfont = FontFor(e.font);
        e.text = l.text;
        e.lines = l.memoLines;
        e.cursor = l.cursor;
        e.picture = l.picture;
        e.drawMode = l.drawMode;
        e.interval = l.timerInterval;
        e.readOnly = l.memoReadOnly;
        e.verticalScroll = l.memoVerticalScrollBar;
        e.wordWrap = l.memoWordWrap;
        e.onClick = Bound(handlers, l.events, "OnClick", l.name);
        e.onMouseMove = Bound(handlers, l.events, "OnMouseMove", l.name);
        e.onMouseLeave = Bound(handlers, l.events, "OnMouseLeave", l.name);
        e.onTimer = Bound(handlers, l.events, "OnTimer", l.name);
        elements_.push_back(e);
        Element& added = elements_.back();
        const size_t index = elements_.size() - 1;
        if (added.kind == ElementKind::AnimatedPicture) {
            const PictureData& data = layout.pictures[size_t(l.picture)];
            players_[index].reset(new GifPlayer(hwnd_, index));
            std::string error;
            if (!players_[index]->Load(data.bytes.data(), data.bytes.size(), error))
                throw std::runtime_error("The animation of " + name_ + "." + l.name + " is broken: " + error);
        }
        if (!added.Windowless() && hwnd_) CreateControl(added);
        ApplyAutoSize(added);
        if (added.kind == ElementKind::Timer) SyncTimer(int(index));
    }
}

namespace {
const char kFormProp[] = "QvKuForm";
const char kProcProp[] = "QvKuProc";
}  // namespace

// The labels inside a group box are drawn by the form, over the group box's own painting, so
// that they stay windowless as everywhere else.
LRESULT CALLBACK Form::GroupBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    try {
        return GroupBoxMessage(hwnd, msg, wp, lp);
    } catch (...) {
        return Application.HandlerFailed(std::current_exception());
    }
}

LRESULT Form::GroupBoxMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* form = static_cast<Form*>(GetPropA(hwnd, kFormProp));
    auto original = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kProcProp));
    if (msg == WM_NCDESTROY) {
        RemovePropA(hwnd, kFormProp);
        RemovePropA(hwnd, kProcProp);
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, LONG_PTR(original));
        return CallWindowProcA(original, hwnd, msg, wp, lp);
    }
    // A multi-line text box in it asks its parent to close when Esc reaches it through the
    // dialog manager; the group box must not go, the form decides about its own closing.
    if (msg == WM_CLOSE) return 0;
    if (msg == WM_ERASEBKGND && form) {
        // The platform's group box draws only its frame and title; the form's colour fills it,
        // as the form's own painting leaves out its child windows.
        RECT r;
        GetClientRect(hwnd, &r);
        UniqueBrush brush(CreateSolidBrush(ResolveColor(form->color_)));
        FillRect(HDC(wp), &r, brush.get());
        return 1;
    }
    if (msg == WM_PAINT && form) {
        // Only what was invalidated is drawn again: letters drawn twice over themselves thicken.
        UniqueRegion dirty(CreateRectRgn(0, 0, 0, 0));
        GetUpdateRgn(hwnd, dirty.get(), FALSE);
        LRESULT result = CallWindowProcA(original, hwnd, msg, wp, lp);
        form->PaintInside(hwnd, dirty.get());
        return result;
    }
    if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLOREDIT || msg == WM_COMMAND)
        return SendMessageA(GetParent(hwnd), msg, wp, lp);
    return CallWindowProcA(original, hwnd, msg, wp, lp);
}

void Form::PaintInside(HWND groupBox, HRGN dirty) {
    int box = -1;
    for (size_t i = 0; i < elements_.size(); ++i)
        if (elements_[i].control == groupBox) box = int(i);
    if (box < 0) return;
    WindowDc dc(groupBox);
    if (!dc) return;
    SelectClipRgn(dc.get(), dirty);
    SetViewportOrgEx(dc.get(), -elements_[size_t(box)].left, -elements_[size_t(box)].top, nullptr);
    for (const Element& e : elements_)
        if (e.parent == box && e.visible && e.Windowless()) PaintElement(dc.get(), e);
}

void Form::CreateControl(Element& e) {
    HWND parent = hwnd_;
    int left = e.left, top = e.top;
    if (e.parent >= 0) {
        parent = elements_[size_t(e.parent)].control;
        left -= elements_[size_t(e.parent)].left;
        top -= elements_[size_t(e.parent)].top;
    }
    DWORD visible = e.visible ? WS_VISIBLE : 0;
    if (e.kind == ElementKind::GroupBox) {
        e.control = CreateWindowExA(0, "BUTTON", e.text.c_str(), WS_CHILD | visible | BS_GROUPBOX, left, top, e.width,
                                    e.height, parent, nullptr, Application.Instance(), nullptr);
        SetPropA(e.control, kFormProp, this);
        SetPropA(e.control, kProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(e.control, GWLP_WNDPROC)));
        SetWindowLongPtrA(e.control, GWLP_WNDPROC, LONG_PTR(GroupBoxProc));
    } else {
        DWORD style = WS_CHILD | visible | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL;
        if (e.readOnly) style |= ES_READONLY;
        if (e.verticalScroll) style |= WS_VSCROLL;
        if (!e.wordWrap) style |= ES_AUTOHSCROLL | WS_HSCROLL;
        e.control = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", style, left, top, e.width, e.height, parent, nullptr,
                                    Application.Instance(), nullptr);
        std::string text;
        for (const std::string& line : e.lines) text += line + "\r\n";
        e.text = text;
        SetWindowTextA(e.control, text.c_str());
    }
    if (!e.control) {
        // Without a window system the form itself may be made while its controls are not.
        if (Application.AllowWindowless) return;
        throw std::runtime_error("The control " + name_ + "." + e.name + " could not be created");
    }
    SendMessageA(e.control, WM_SETFONT, WPARAM(e.hfont), FALSE);
    if (!e.enabled) EnableWindow(e.control, FALSE);
}
