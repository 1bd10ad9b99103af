#pragma once

#include "platform/core/Geometry.h"
#include "platform/desktop/WindowSystem.h"

#include <QColor>
#include <QMargins>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace quorvia::platform {

// How screen capture treats a window. None leaves it out of every captured
// frame; read-only lets capture see it.
enum class SharingType { none, readOnly, readWrite };

enum class CollectionBehavior : unsigned {
    none = 0,
    canJoinAllSpaces = 1u << 0,
    moveToActiveSpace = 1u << 1,
    managed = 1u << 2,
    transient = 1u << 3,
    stationary = 1u << 4,
    participatesInCycle = 1u << 5,
    ignoresCycle = 1u << 6,
    fullScreenPrimary = 1u << 7,
    fullScreenAuxiliary = 1u << 8,
};

constexpr CollectionBehavior operator|(CollectionBehavior a, CollectionBehavior b)
{
    return CollectionBehavior(unsigned(a) | unsigned(b));
}
constexpr bool contains(CollectionBehavior set, CollectionBehavior flag)
{
    return (unsigned(set) & unsigned(flag)) == unsigned(flag) && unsigned(flag) != 0;
}

// The outline of what a borderless window draws, for its shadow and, where
// nothing composites translucent windows, for the window's own shape.
struct WindowShape {
    enum class Kind { rectangle, roundedRectangle, ellipse };
    Kind kind = Kind::rectangle;
    double cornerRadius = 0;
    friend bool operator==(const WindowShape&, const WindowShape&) = default;
};

enum class WindowStyle : unsigned {
    borderless = 0,
    titled = 1u << 0,
    closable = 1u << 1,
    miniaturizable = 1u << 2,
    resizable = 1u << 3,
    utilityWindow = 1u << 4,
    nonactivatingPanel = 1u << 7,
    fullSizeContentView = 1u << 15,
    // A transient popup that closes on a click outside it.
    popover = 1u << 20,
};

constexpr WindowStyle operator|(WindowStyle a, WindowStyle b) { return WindowStyle(unsigned(a) | unsigned(b)); }
constexpr bool contains(WindowStyle set, WindowStyle flag)
{
    return (unsigned(set) & unsigned(flag)) == unsigned(flag) && unsigned(flag) != 0;
}

// A top-level window carrying what Qt lacks: level, sharing type, collection
// behaviour, key and main eligibility, mouse transparency, and a frame in the
// global y-up space. The frame is the whole window, the window manager's title
// bar and border included, so a frame kept inside an area keeps all of the
// window there. The frame set here is the truth; Qt's integer geometry of the
// inner window follows it, and a move or resize made outside (by the window
// manager) is read back.
class Window : public QWidget {
    Q_OBJECT
public:
    static constexpr int normalLevel = 0;
    static constexpr int floatingLevel = 3;
    static constexpr int overlayLevel = 1000;

    // Posted on the default notification centre with the window as sender.
    static inline const QString didMoveNotification = QStringLiteral("WindowDidMove");
    static inline const QString didResizeNotification = QStringLiteral("WindowDidResize");
    static inline const QString willCloseNotification = QStringLiteral("WindowWillClose");
    // Posted first for a move or resize, before the window's callbacks and
    // the notices above answer it: a judge of whose the change was sees it
    // as it came, not as an answer (a clamp) has made it.
    static inline const QString frameWillBeAnsweredNotification = QStringLiteral("WindowFrameWillBeAnswered");

    explicit Window(const Rect& frame = {},
                    WindowStyle style = WindowStyle::titled | WindowStyle::closable | WindowStyle::miniaturizable
                        | WindowStyle::resizable);
    ~Window() override;

    WindowStyle styleMask() const { return style_; }
    virtual bool isPanel() const { return false; }

    Rect frame() const { return frame_; }
    // Every frame asked for the window passes its bound first: the server
    // never hears of a frame outside the area. Asked by the program, a frame
    // is moved inside whole; one the speaker took by hand `from` another is
    // bounded as their move or resize from there, a resize stopping short.
    void setFrame(const Rect& frame);
    void setFrame(const Rect& frame, const Rect& from);
    // Where the application last put the window, or kept it as the speaker
    // left it (setFrame with where it stands); a window manager's own move
    // leaves it. A move that lands there is the application's, or the server's
    // echo of it.
    Rect askedFrame() const { return asked_; }
    bool standsWhereAsked() const;
    // Where the window belongs: as asked, but a frame it is only kept in for
    // a while (pushed inside a screen's edges) leaves it.
    Rect placeFrame() const { return place_; }
    // Moves the window as setFrame does, its place staying where it was.
    void keepFrame(const Rect& frame);
    void keepFrame(const Rect& frame, const Rect& from);
    // Back at its place, when it stands or was last asked elsewhere.
    void returnToPlace();
    // While a move or resize is told: where the window stood before it.
    Rect formerFrame() const { return former_; }
    void setFrameOrigin(Point origin);
    // Makes frame() say where the window stands now. Rearranged displays move
    // the global space under every window, which stays where it was on the
    // server: its old frame would name another place.
    void readBackFrame() { adoptQtGeometry(); }
    // Where the window may stand now (`area`) and where its place may lie
    // (`placeArea`, the whole screen it belongs to, so that a place a panel
    // covers for a while is kept for when it goes).
    struct Bounds {
        Rect area;
        Rect placeArea;
        // The display they lie on and its frame, as the program knows them.
        std::uint32_t display = 0;
        Rect displayFrame;
    };
    // `bounds` answers them now, none while the window may stand nowhere (a
    // frame asked for then is kept as its place but not asked of the
    // server); `rule` makes a frame asked for, from the frame before it, one
    // inside an area. The window system keeps the shown window inside its
    // area too, answering each step of a move or resize another client makes
    // as it comes. Without a bound the window stands wherever it is asked.
    void setBound(std::function<std::optional<Bounds>()> bounds, FrameRule rule);
    // The area may have changed (the displays did): the window system learns the new one.
    void rereadBound();
    // What the window manager draws around the window, as last seen while it
    // was shown: none before that, and none without a window manager.
    QMargins decorationMargins() const { return decorations_; }

    int level() const { return level_; }
    void setLevel(int level);

    SharingType sharingType() const { return sharingType_; }
    void setSharingType(SharingType type) { sharingType_ = type; }

    CollectionBehavior collectionBehavior() const { return collection_; }
    void setCollectionBehavior(CollectionBehavior behavior);

    virtual bool canBecomeKey() const { return canBecomeKey_; }
    virtual bool canBecomeMain() const { return canBecomeMain_; }
    void setCanBecomeKey(bool value);
    void setCanBecomeMain(bool value) { canBecomeMain_ = value; }

    bool ignoresMouseEvents() const { return ignoresMouse_; }
    void setIgnoresMouseEvents(bool value);

    double alphaValue() const { return alpha_; }
    void setAlphaValue(double alpha);

    void setTitle(const QString& title) { setWindowTitle(title); }
    QString title() const { return windowTitle(); }
    void setBackgroundColor(const QColor& color);

    // Where a compositor blends translucent windows, a shadow is drawn around
    // the shape (outside the frame, which stays the shape's); elsewhere the
    // window is cut to the shape, since its clear parts would show black.
    void setShape(const WindowShape& shape);
    WindowShape shape() const { return shape_; }
    void setHasShadow(bool hasShadow);
    bool hasShadow() const { return hasShadow_; }
    // Whether the shadow is drawn now: asked for, and a compositor blends it.
    bool drawsShadow() const { return !shadowMargins_.isNull(); }
    static constexpr QMargins shadowExtent{14, 8, 14, 22};
    // The shape as a region of a window of this size.
    static QRegion shapeRegion(const WindowShape& shape, const QSize& size);
    // Whether a compositing manager blends translucent windows, as the installed window system tells.
    static bool isCompositing();
    // Re-reads the compositor and updates the shadow and the cut to the shape.
    void updateShapeAndShadow();

    // The window takes the view and fills itself with it.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return content_; }

    void orderFront();
    // X11 raises a window of an application in the background as readily as
    // one in front, so the two ways to the front are one.
    void orderFrontRegardless() { orderFront(); }
    void makeKeyAndOrderFront();
    // As orderFront, but shown without the keyboard, which stays wherever it is.
    void orderFrontLeavingKeyboard();
    // Shows any top-level widget of ours so: marked as shown by no act of the
    // speaker's, which a window manager does not give the keyboard.
    static void showLeavingKeyboard(QWidget& window);
    void orderOut();
    bool isKeyWindow() const { return windowWithKeyboard() == this; }
    // Where the keyboard is going: the window last sent it, until the server
    // next moves it (on X11 activation lags behind the ask) or while another
    // program has it, else the top-level widget of ours that has it, which
    // need not be a Window.
    static QWidget* keyboardDestination();
    // The window of ours the speaker works in, which what they ask for
    // belongs to: a dialog of ours with the keyboard, else the window last
    // clicked or typed in, or handed the keyboard back by a dialog, unless
    // the keyboard was asked for since (a window brought forward, or handed
    // it back as a window closed), else where the keyboard is going. Right
    // after a click the server may still report the window before.
    static QWidget* speakersWindow();
    // The top-level widget of ours that has the keyboard, as the server
    // reports (Qt's active window where no server tells); null while another
    // program's window or nobody's has it.
    static QWidget* windowWithKeyboard();
    // Whether the server has the keyboard in another program's window.
    static bool anotherProgramHasKeyboard();
    // The one way to ask the keyboard for any top-level widget of ours; it is
    // remembered as its destination until the server answers. A window that
    // may not be key is left alone: false.
    static bool sendKeyboardTo(QWidget& window);
    // How an alert, sheet or chooser of ours, once ended, hands the keyboard
    // back to the window it belongs to (a closed window and a restore hand it
    // back by their own roads): without a window manager
    // nothing else would take it from the root window, and a window manager
    // hands it to whichever window of ours it picks. Another program that has
    // it by then keeps it, and a window gone, hidden or that may not be key
    // gets nothing. The speaker answered there, so what they ask next
    // (a refusal that answers a chooser) belongs to that window too, wherever
    // the window manager moves the keyboard meanwhile, until they act
    // elsewhere or the keyboard is asked elsewhere.
    static void handKeyboardBack(QWidget* owner);
    // The window of ours this one was last brought forward with the keyboard
    // from: where the speaker clicked or typed, else where the keyboard was.
    // Closed or ordered out while it has the keyboard, this one hands it back
    // there, as an alert does to the window it was asked from.
    QWidget* openedFrom() const { return opener_; }

    // Every live window of the application, in creation order.
    static std::vector<Window*> allWindows();
    // Keeps a modal alert or chooser of ours above every other window of ours
    // while it is up: a window raised or shown meanwhile (a reopen brings the
    // island forward) would otherwise cover the one window that still answers.
    // A modal one with a window of its own (the one it was asked from) brings
    // that window up first, just beneath it, so it never floats alone.
    // Overlays stay above all: while one is up nothing is raised past it.
    // Brings the modal windows up, the newest last, after `raised` went to the front.
    static void raiseModalsAbove(const QWidget& raised);
    // Brings the modal windows up, the newest last, as after dialogs came back.
    static void raiseModals();

    std::function<void()> onDidMove;
    std::function<void()> onDidResize;
    std::function<void()> onWillClose;
    // Runs once, right after the window's first picture has been drawn on screen.
    std::function<void()> onFirstPaint;

    void setVisible(bool visible) override;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    void applyFlags();

private:
    void applyGeometry();
    // The frame the bound lets the window take on its way from where it
    // stands; none while it may stand nowhere.
    std::optional<Rect> bounded(const Rect& frame, const Rect& from, Rect Bounds::*area = &Bounds::area);
    void tellWindowSystemBound(const std::optional<Bounds>& bounds);
    void adoptQtGeometry();
    void adoptDecorations();
    // Qt's geometry of the inner window for a frame, shadow margins included.
    QRect qtGeometry(const Rect& frame) const;
    bool applyingGeometry_ = false;
    void announce(const Rect& old);
    void present(bool activate, bool leavingKeyboard = false);
    void noteOpener();
    void noteActedIn();

    WindowStyle style_;
    Rect frame_;
    Rect asked_;
    Rect place_;
    Rect former_;
    int level_ = normalLevel;
    SharingType sharingType_ = SharingType::readOnly;
    CollectionBehavior collection_ = CollectionBehavior::none;
    bool canBecomeKey_ = true;
    bool canBecomeMain_ = true;
    bool ignoresMouse_ = false;
    double alpha_ = 1.0;
    QWidget* content_ = nullptr;
    WindowShape shape_;
    bool hasShadow_ = false;
    QMargins shadowMargins_;
    QMargins decorations_;
    QPointer<QWidget> opener_;
    std::function<std::optional<Bounds>()> bounds_;
    FrameRule boundRule_ = nullptr;
};

} // namespace quorvia::platform
