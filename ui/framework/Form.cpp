#include "Form.h"

#include <stdexcept>

#include "Application.h"
#include "GifPlayer.h"
#include "Picture.h"
#include "../../services/HexText.h"

COLORREF ResolveColor(COLORREF color) {
    return (color & kSystemColourFlag) ? GetSysColor(int(color & 0xFF)) : color;
}

Form::Form() = default;

Form::~Form() {
    players_.clear();  // their threads end before the window goes
    Application.RemoveForm(this);
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

int Form::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < elements_.size(); ++i)
        if (elements_[i].name == name) return int(i);
    return -1;
}

Element& Form::E(const std::string& name) {
    int i = IndexOf(name);
    if (i < 0) throw std::logic_error(name_ + " has no element " + name);
    return elements_[size_t(i)];
}

const Element& Form::E(const std::string& name) const { return const_cast<Form*>(this)->E(name); }

void Form::Invalidate(const Element& e) {
    if (!hwnd_) return;
    RECT r = e.Bounds();
    if (e.parent >= 0) {
        // Drawn over its group box, which repaints it.
        const Element& box = elements_[size_t(e.parent)];
        OffsetRect(&r, -box.left, -box.top);
        InvalidateRect(box.control, &r, TRUE);
        return;
    }
    InvalidateRect(hwnd_, &r, FALSE);
}

void Form::AnimationFrame(size_t index) {
    if (index >= players_.size() || !players_[index]) return;
    players_[index]->Advance();
    if (elements_[index].visible) Invalidate(elements_[index]);
}

void Form::SetVisible(const std::string& name, bool visible) {
    Element& e = E(name);
    if (e.visible == visible) return;
    e.visible = visible;
    if (e.control) ShowWindow(e.control, visible ? SW_SHOWNA : SW_HIDE);
    if (e.kind == ElementKind::Timer) return SyncTimer(IndexOf(name));
    Invalidate(e);
}

void Form::SetEnabled(const std::string& name, bool enabled) {
    Element& e = E(name);
    if (e.enabled == enabled) return;
    e.enabled = enabled;
    if (e.control) EnableWindow(e.control, enabled);
    if (e.kind == ElementKind::Timer) SyncTimer(IndexOf(name));
}

void Form::SetText(const std::string& name, const std::string& text) {
    Element& e = E(name);
    if (e.text == text) return;
    Invalidate(e);
    e.text = text;
    if (e.control && e.kind == ElementKind::GroupBox) SetWindowTextA(e.control, text.c_str());
    ApplyAutoSize(e);
    Invalidate(e);
}

void Form::SetWidth(const std::string& name, int width) {
    Element& e = E(name);
    if (e.width == width) return;
    Invalidate(e);
    e.width = width;
    Invalidate(e);
}

void Form::SetTextColor(const std::string& name, COLORREF color) {
    Element& e = E(name);
    if (e.textColor == color) return;
    e.textColor = color;
    Invalidate(e);
}

void Form::SetMemoText(const std::string& name, const std::string& text) {
    Element& e = E(name);
    e.text = text;
    if (e.control) SetWindowTextA(e.control, text.c_str());
}

std::string Form::MemoText(const std::string& name) const {
    const Element& e = E(name);
    if (!e.control) return e.text;
    int n = GetWindowTextLengthA(e.control);
    std::string text(size_t(n) + 1, '\0');
    n = GetWindowTextA(e.control, &text[0], n + 1);
    text.resize(size_t(n));
    return text;
}

void Form::ApplyAutoSize(Element& e) {
    if (!e.autoSize || e.kind != ElementKind::Label) return;
    WindowDc dc(hwnd_);
    Selection font(dc.get(), e.hfont);
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc.get(), e.text.data(), int(e.text.size()), &size);
    e.width = size.cx;
}

int Form::Left() const { return left_; }
int Form::Top() const { return top_; }

void Form::SetLeft(int left) {
    left_ = left;
    placed_ = true;
    if (hwnd_) SetWindowPos(hwnd_, nullptr, left_, top_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetTop(int top) {
    top_ = top;
    placed_ = true;
    if (hwnd_) SetWindowPos(hwnd_, nullptr, left_, top_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::PlaceAtFirstShow() {
    if (placed_) return;
    placed_ = true;
    int left, top;
    Form* main = Application.MainForm();
    if (position_ == FormPosition::MainFormCenter && main && main != this) {
        left = main->Left() + (main->Width() - outerWidth_) / 2;
        top = main->Top() + (main->Height() - outerHeight_) / 2;
    } else {
        // The desktop spans all monitors; positions count from the primary monitor's corner.
        left = (GetSystemMetrics(SM_CXVIRTUALSCREEN) - outerWidth_) / 2;
        top = (GetSystemMetrics(SM_CYVIRTUALSCREEN) - outerHeight_) / 2;
    }
    left_ = left < 0 ? 0 : left;
    top_ = top < 0 ? 0 : top;
    SetWindowPos(hwnd_, nullptr, left_, top_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Show() {
    if (!hwnd_) return;
    PlaceAtFirstShow();
    visible_ = true;
    if (Application.Minimized() && Application.MainForm() == this) return;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Form::Hide() {
    visible_ = false;
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Form::Close() {
    if (modal_) {
        closingModal_ = true;
        return;
    }
    if (onCloseQuery && !onCloseQuery()) return;
    if (onClose) onClose();
    if (Application.MainForm() == this) Application.Terminate();
    else Hide();
}

void Form::ShowModal() {
    if (modal_ || !hwnd_) return;
    std::vector<HWND> disabled;
    Form* main = Application.MainForm();
    if (main && main != this && IsWindowEnabled(main->Handle())) {
        EnableWindow(main->Handle(), FALSE);
        disabled.push_back(main->Handle());
    }
    // A topmost main window would cover the form it opened: it gives up its place on top while
    // the form is open and takes it back afterwards.
    const bool mainTopmost = main && main != this && (GetWindowLongA(main->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    const UINT keepPlace = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    if (mainTopmost) SetWindowPos(main->Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, keepPlace);
    Form* previousModal = Application.ModalForm;
    Application.ModalForm = this;
    modal_ = true;
    closingModal_ = false;
    Show();
    while (!closingModal_ && !Application.Terminated()) Application.HandleOrWait();
    modal_ = false;
    if (onClose) onClose();
    Application.ModalForm = previousModal;
    for (HWND h : disabled) EnableWindow(h, TRUE);
    if (mainTopmost) SetWindowPos(main->Handle(), HWND_TOPMOST, 0, 0, 0, 0, keepPlace);
    // Enabled before hiding, so that the platform hands the activation back to the main window.
    Hide();
    if (main && main != this && main->Visible()) SetActiveWindow(main->Handle());
}

int Form::ElementAt(POINT p) const {
    for (size_t i = elements_.size(); i-- > 0;) {
        const Element& e = elements_[i];
        if (e.kind == ElementKind::Timer || !e.Windowless()) continue;
        if (e.visible && e.enabled && e.Contains(p)) return int(i);
    }
    return -1;
}

int Form::ElementAtForLeave(POINT p) const {
    for (size_t i = elements_.size(); i-- > 0;) {
        const Element& e = elements_[i];
        if (e.kind == ElementKind::Timer || !e.Windowless()) continue;
        if (e.visible && e.Contains(p)) return int(i);
    }
    return -1;
}

void Form::CheckLeave(bool pointerInside, POINT clientPoint) {
    int now = pointerInside ? ElementAtForLeave(clientPoint) : -1;
    if (now == lastUnderPointer_) return;
    int previous = lastUnderPointer_;
    lastUnderPointer_ = now;
    if (previous >= 0 && size_t(previous) < elements_.size() && elements_[size_t(previous)].onMouseLeave)
        elements_[size_t(previous)].onMouseLeave();
}

void Form::OnMouse(UINT msg, POINT p) {
    if (msg == WM_MOUSEMOVE) {
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, hwnd_, 0};
        TrackMouseEvent(&track);
        // While a button is held the element it was pressed on takes the moves, as the
        // platform's capture would give them to a control of its own.
        int target = pressed_ >= 0 ? pressed_ : ElementAt(p);
        if (target >= 0 && elements_[size_t(target)].onMouseMove) elements_[size_t(target)].onMouseMove();
    } else if (msg == WM_LBUTTONDOWN) {
        pressed_ = ElementAt(p);
        if (pressed_ >= 0) SetCapture(hwnd_);
    } else if (msg == WM_LBUTTONUP) {
        int pressed = pressed_;
        pressed_ = -1;
        if (GetCapture() == hwnd_) ReleaseCapture();
        if (pressed >= 0 && ElementAt(p) == pressed && elements_[size_t(pressed)].onClick)
            elements_[size_t(pressed)].onClick();
    }
}

bool Form::OnSetCursor() {
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(hwnd_, &p);
    int i = ElementAt(p);
    bool hand = i >= 0 && elements_[size_t(i)].cursor == CursorKind::Hand;
    SetCursor(LoadCursorA(nullptr, hand ? IDC_HAND : IDC_ARROW));
    return true;
}

void Form::SyncTimer(int index) {
    if (index < 0 || !hwnd_) return;
    const Element& e = elements_[size_t(index)];
    // A timer's `enabled` is whether it ticks.
    if (e.enabled && e.interval > 0) SetTimer(hwnd_, UINT_PTR(index + 1), e.interval, nullptr);
    else KillTimer(hwnd_, UINT_PTR(index + 1));
}

void Form::OnTimer(UINT_PTR id) {
    size_t index = size_t(id - 1);
    if (index < elements_.size() && elements_[index].kind == ElementKind::Timer && elements_[index].enabled &&
        elements_[index].onTimer)
        elements_[index].onTimer();
}

void Form::PaintElement(HDC dc, const Element& e) {
    RECT box = e.Bounds();
    switch (e.kind) {
    case ElementKind::Picture:
        if (e.picture >= 0 && size_t(e.picture) < pictures_.size())
            pictures_[size_t(e.picture)]->Draw(dc, box, e.drawMode == DrawMode::Stretched);
        break;
    case ElementKind::AnimatedPicture: {
        GifPlayer* player = players_[size_t(&e - &elements_[0])].get();
        if (player) {
            player->Start();  // playback begins the first time it is drawn while visible
            player->Frame().Draw(dc, box, false);
        }
        break;
    }
    case ElementKind::Label:
        if (!e.text.empty()) {
            Selection font(dc, e.hfont);
            SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, ResolveColor(e.textColor));
            DrawTextA(dc, e.text.data(), int(e.text.size()), &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        }
        break;
    default:
        break;
    }
}

void Form::Paint(HDC dc, const RECT& dirty) {
    // Everything is drawn into a back buffer first, so the window never shows a half-drawn state.
    const int w = dirty.right - dirty.left, h = dirty.bottom - dirty.top;
    if (w <= 0 || h <= 0) return;
    UniqueDc buffer(CreateCompatibleDC(dc));
    UniqueBitmap bitmap(CreateCompatibleBitmap(dc, w, h));
    if (!buffer || !bitmap) return;  // out of GDI resources: this paint is skipped, not drawn on the screen
    Selection drawInto(buffer.get(), bitmap.get());
    SetViewportOrgEx(buffer.get(), -dirty.left, -dirty.top, nullptr);
    UniqueBrush brush(CreateSolidBrush(ResolveColor(color_)));
    FillRect(buffer.get(), &dirty, brush.get());
    for (const Element& e : elements_) {
        if (!e.visible || !e.Windowless() || e.kind == ElementKind::Timer || e.parent >= 0) continue;
        RECT box = e.Bounds(), overlap;
        if (IntersectRect(&overlap, &box, &dirty)) PaintElement(buffer.get(), e);
    }
    SetViewportOrgEx(buffer.get(), 0, 0, nullptr);
    BitBlt(dc, dirty.left, dirty.top, w, h, buffer.get(), 0, 0, SRCCOPY);
}


std::string Form::DumpState() const {
    RECT r = {};
    if (hwnd_) GetWindowRect(hwnd_, &r);
    const bool topmost = hwnd_ && (GetWindowLongA(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    std::string out = name_ + "|" + (hwnd_ && IsWindowVisible(hwnd_) ? "1" : "0") + "|" + (topmost ? "1" : "0") +
                      "|" + std::to_string(r.left) + "|" + std::to_string(r.top) + "|" +
                      std::to_string(r.right - r.left) + "|" + std::to_string(r.bottom - r.top) + "|" +
                      (Application.Minimized() ? "1" : "0") + "\n";
    for (const Element& e : elements_) {
        out += e.name + "|" + (e.visible ? "1" : "0") + "|" + (e.enabled ? "1" : "0") + "|" + std::to_string(e.left) +
               "|" + std::to_string(e.top) + "|" + std::to_string(e.width) + "|" + std::to_string(e.height) + "|" +
               std::to_string(e.textColor) + "|";
        out += HexText(e.kind == ElementKind::Memo ? MemoText(e.name) : e.text) + "\n";
    }
    for (const auto& note : notes_) out += "=" + note.first + "|" + HexText(note.second) + "\n";
    return out;
}

// Tests ask a running window what it holds: WM_COPYDATA with this tag and the asking window in
// wParam; the answer goes back the same way. It stays in the installer that ships, since every
// window test reads the shipped program through it: it only reads, changes nothing, and answers
// only to the window that asks.
static const ULONG_PTR kStateQuery = 0x51565354;   // 'QVST'
static const ULONG_PTR kStateAnswer = 0x51565352;  // 'QVSR'
#ifdef QVKU_FAULT_REQUESTS
// Only in a test build of the installer: a request that makes a handler fail, to see the run end
// as after any failure inside a handler. The shipped program must not let another process end
// its run at will.
static const ULONG_PTR kFailQuery = 0x51564658;  // 'QVFX'
#endif

LRESULT Form::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintDc dc(hwnd_);
        if (dc) Paint(dc.get(), dc.Dirty());
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        OnMouse(msg, POINT{short(LOWORD(lp)), short(HIWORD(lp))});
        return 0;
    case WM_CAPTURECHANGED:
        if (HWND(lp) != hwnd_) pressed_ = -1;
        return 0;
    case WM_MOUSELEAVE:
        return 0;  // the idle step that follows finds the element the pointer left
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && OnSetCursor()) return TRUE;
        break;
    case WM_TIMER:
        OnTimer(wp);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && onActivate) onActivate();
        break;
    case WM_SETFOCUS:
        // As in a dialog, the focus goes on to the element that takes it.
        for (const Element& e : elements_)
            if (e.kind == ElementKind::Memo && e.control && e.visible && e.enabled) {
                SetFocus(e.control);
                return 0;
            }
        break;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_MINIMIZE && Application.MainForm() == this) {
            Application.Minimize();
            return 0;
        }
        break;
    case WM_MOVE: {
        RECT r;
        GetWindowRect(hwnd_, &r);
        left_ = r.left;
        top_ = r.top;
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL && lp == 0) return 0;  // Esc through the dialog manager: the key handler decides
        break;
    case WM_CTLCOLORSTATIC:
        // A read-only memo keeps the window colour of an ordinary text box.
        for (const Element& e : elements_)
            if (e.kind == ElementKind::Memo && e.control == HWND(lp)) {
                SetBkColor(HDC(wp), GetSysColor(COLOR_WINDOW));
                return LRESULT(GetSysColorBrush(COLOR_WINDOW));
            }
        break;
    case WM_COPYDATA: {
        const COPYDATASTRUCT* query = reinterpret_cast<const COPYDATASTRUCT*>(lp);
#ifdef QVKU_FAULT_REQUESTS
        if (query && query->dwData == kFailQuery) throw std::runtime_error("A failure raised on request in a handler");
#endif
        if (!query || query->dwData != kStateQuery) break;
        std::string state = DumpState();
        COPYDATASTRUCT answer = {kStateAnswer, DWORD(state.size()), &state[0]};
        SendMessageA(HWND(wp), WM_COPYDATA, WPARAM(hwnd_), LPARAM(&answer));
        return TRUE;
    }
    case WM_APP_FRAME:
        AnimationFrame(size_t(wp));
        return 0;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lp);
        auto* form = static_cast<Form*>(create->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return form->HandleMessage(msg, wp, lp);
    } catch (...) {
        return Application.HandlerFailed(std::current_exception());
    }
}
