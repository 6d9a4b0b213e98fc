// A top-level window built from a stored layout: its elements, their painting into a back
// buffer, pointer routing, cursors, timers and the close procedure.
#pragma once
#include <windows.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../../services/Handles.h"
#include "Element.h"

class Picture;
class GifPlayer;

// Posted by an animation's timing thread: draw the next frame of element wParam.
constexpr UINT WM_APP_FRAME = WM_APP + 1;

// A text for a named element, as in the tables of texts by language.
struct ElementText {
    const char* element;
    const char* text;
};

// Handlers by the names the layout binds to events.
using HandlerTable = std::map<std::string, Handler>;

class Form {
public:
    Form();
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Builds the window hidden from RCDATA `resourceName` of the running executable, binds the
    // layout's events to `handlers`, then runs the creation handler. Throws std::runtime_error
    // with a clear message when the layout is broken or a handler is missing.
    void CreateFromResource(const char* resourceName, const HandlerTable& handlers);
    void CreateFromLayout(const FormLayout& layout, const HandlerTable& handlers);

    HWND Handle() const { return hwnd_; }

    // Elements by name. Unknown names are a programming error and throw.
    Element& E(const std::string& name);
    const Element& E(const std::string& name) const;
    int IndexOf(const std::string& name) const;

    // Setters repaint only what changed.
    void SetVisible(const std::string& name, bool visible);
    void SetEnabled(const std::string& name, bool enabled);
    void SetText(const std::string& name, const std::string& text);
    // Sets each text of the table, in its order.
    void SetTexts(const ElementText* table, size_t count) {
        for (size_t i = 0; i < count; ++i) SetText(table[i].element, table[i].text);
    }
    void SetWidth(const std::string& name, int width);
    void SetTextColor(const std::string& name, COLORREF color);
    void SetMemoText(const std::string& name, const std::string& text);
    std::string MemoText(const std::string& name) const;

    int Left() const;
    int Top() const;
    int Width() const { return outerWidth_; }
    int Height() const { return outerHeight_; }
    void SetLeft(int left);
    void SetTop(int top);
    bool Visible() const { return visible_; }
    void Show();
    void Hide();
    // The close procedure: unless onCloseQuery keeps the window, the close handler runs; the main window then
    // asks the application to quit and stays on the screen, any other form is hidden.
    void Close();
    // Shows the form modally and returns when it closes.
    void ShowModal();

    // The text of the element state, one line per element, for tests that read what the
    // window holds through WM_COPYDATA.
    std::string DumpState() const;
    // A fact of the program's for the same readers, a line of the state of its own.
    void SetNote(const std::string& key, const std::string& value) { notes_[key] = value; }

    // The handler run at each activation (bound from the layout's OnActivate).
    Handler onCreate, onActivate, onClose;
    // Asked first by the close procedure: false keeps the window as it is, and nothing more runs.
    std::function<bool()> onCloseQuery;
    // Bound from the layout's OnKeyDown; the handler reads the key from KeyCode().
    std::function<void(WPARAM key)> onKeyDown;
    // The virtual key code of the key press being handled.
    WPARAM KeyCode() const { return keyCode_; }

    // Routes the pointer; the application calls it from its idle step.
    void CheckLeave(bool pointerInside, POINT clientPoint);
    // The topmost visible element under the point, disabled ones included.
    int ElementAtForLeave(POINT p) const;
    bool KeyPreview() const { return keyPreview_; }

protected:
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void BuildWindow(const FormLayout& layout);
    void BuildElements(const FormLayout& layout, const HandlerTable& handlers);
    void CreateControl(Element& e);
    static LRESULT CALLBACK GroupBoxProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT GroupBoxMessage(HWND, UINT, WPARAM, LPARAM);
    void PaintInside(HWND groupBox, HRGN dirty);
    static Handler Bound(const HandlerTable& handlers, const std::vector<EventBinding>& events, const char* event,
                         const std::string& owner);
    void Invalidate(const Element& e);
    void Paint(HDC dc, const RECT& dirty);
    void PaintElement(HDC dc, const Element& e);
    int ElementAt(POINT p) const;   // topmost visible and enabled windowless element
    void OnMouse(UINT msg, POINT p);
    bool OnSetCursor();
    void PlaceAtFirstShow();
    void ApplyAutoSize(Element& e);
    HFONT FontFor(const FontLook& look);
    void OnTimer(UINT_PTR id);
    void SyncTimer(int index);
    void AnimationFrame(size_t index);

    HWND hwnd_ = nullptr;
    std::string name_, className_, windowClass_;
    std::string caption_;
    BorderStyle border_ = BorderStyle::None;
    FormPosition position_ = FormPosition::DesktopCenter;
    COLORREF color_ = 0;
    FontLook font_;
    bool keyPreview_ = false;
    int clientWidth_ = 0, clientHeight_ = 0;
    int outerWidth_ = 0, outerHeight_ = 0;
    int left_ = 0, top_ = 0;
    bool placed_ = false;      // left/top set, either by the first showing or by the program
    bool visible_ = false;
    bool modal_ = false;
    bool closingModal_ = false;
    std::vector<Element> elements_;
    std::vector<std::unique_ptr<Picture>> pictures_;
    std::vector<std::unique_ptr<GifPlayer>> players_;  // one per animated element, by element
    std::map<std::string, UniqueFont> fonts_;
    std::map<std::string, std::string> notes_;
    int lastUnderPointer_ = -1;
    int pressed_ = -1;
    WPARAM keyCode_ = 0;
};
