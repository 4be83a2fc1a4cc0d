#include "MainDialog.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <map>

#include "ApplicationIcon.h"
#include "ChangeNotifier.h"
#include "CloseRequestFilter.h"
#include "DialogUnits.h"
#include "IconLibrary.h"
#include "KeyRepeats.h"
#include "ModalService.h"
#include "PaneView.h"
#include "PictureView.h"
#include "TemplateControls.h"
#include "resources/ControlDescriptions.h"
#include "resources/DialogTemplates.h"

namespace platform {

namespace {

constexpr int iconSize = 32;
constexpr int printCommand = resources::ids::printGraph;
constexpr int undoCommand = resources::ids::undo;
constexpr int saveRecordedCommand = resources::ids::saveRecorded;
// One notch of a mouse wheel, in eighths of a degree.
constexpr int wheelNotch = 120;
constexpr int firstPaneId = resources::ids::firstPane;
constexpr int noticeHeight = 28;
constexpr int noIcon = 0;

// The request of a key that scrolls the strips, or -1.
int stripScrollRequest(int key) {
    switch (key) {
        case Qt::Key_Up:
            return scroll::lineUp;
        case Qt::Key_Down:
            return scroll::lineDown;
        case Qt::Key_PageUp:
            return scroll::pageUp;
        case Qt::Key_PageDown:
            return scroll::pageDown;
        case Qt::Key_Home:
            return scroll::top;
        case Qt::Key_End:
            return scroll::bottom;
        default:
            return -1;
    }
}

// A key that presses a button or gives a command, as against one that moves
// something. Held down, the keyboard repeats it; the repeats are not new
// presses (a held Return would start and stop a recording over and over).
bool pressesSomething(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
        case Qt::Key_Select:
        case Qt::Key_Escape:
            return true;
        default:
            return (event->modifiers() & Qt::ControlModifier) != 0;
    }
}

// The slider keeps every key it moves by while it has the focus, the radio
// buttons their arrows; everywhere else the strip keys scroll the strips.
bool keepsOwnKey(const QWidget* focus, int key) {
    if (qobject_cast<const QSlider*>(focus) != nullptr) {
        return true;
    }
    return qobject_cast<const QRadioButton*>(focus) != nullptr &&
           (key == Qt::Key_Up || key == Qt::Key_Down);
}

QRect toQRect(const Rect& r) {
    return {r.left, r.top, r.width(), r.height()};
}

Rect toRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

// The client area: the template's controls, and the mouse input that the
// controls and panes let through.
class ClientArea final : public QWidget {
public:
    using Sink = std::function<void(const DialogMessage&)>;
    ClientArea(QWidget* parent, Sink sink) : QWidget(parent), sink_(std::move(sink)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            deliver(DialogMessage::Kind::LeftButtonDown, event->position().toPoint());
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            deliver(DialogMessage::Kind::LeftButtonUp, event->position().toPoint());
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if ((event->buttons() & Qt::LeftButton) != 0) {
            deliver(DialogMessage::Kind::MouseMove, event->position().toPoint());
        }
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        DialogMessage m;
        m.kind = DialogMessage::Kind::ContextMenu;
        m.x = event->globalPos().x();
        m.y = event->globalPos().y();
        sink_(m);
    }

private:
    void deliver(DialogMessage::Kind kind, QPoint p) {
        sink_(DialogMessage::mouse(kind, p.x(), p.y()));
    }
    Sink sink_;
};

class MainDialog::Frame final : public QWidget {
public:
    Frame(MainDialog& owner, const resources::DialogTemplate& t, Procedure procedure)
        : owner_(owner), procedure_(std::move(procedure)) {
        setWindowTitle(QString::fromUtf8(t.title));
        QFont dialogFont = font();
        dialogFont.setPointSize(t.pointSize);
        setFont(dialogFont);
        const auto sink = [this](const DialogMessage& m) { deliver(m); };
        client = new ClientArea(this, sink);
        client->resize(dialogWidthToPixels(t.width), dialogHeightToPixels(t.height));
        controls = std::make_unique<TemplateControls>(t, client, sink);
        bar = new QScrollBar(Qt::Vertical, this);
        const resources::ControlDescription barText =
            resources::describeMainControl(DialogMessage::windowBar);
        bar->setAccessibleName(QString::fromStdString(barText.name));
        bar->setAccessibleDescription(QString::fromStdString(barText.description));
        bar->setToolTip(QString::fromStdString(barText.toolTip));
        notifier = std::make_unique<ChangeNotifier>(
            [this] {
                for (auto& [id, view] : paneViews) {
                    view->refresh();
                }
            },
            nullptr);
        // The strip keys and the wheel reach the window whatever has the
        // focus (see keepsOwnKey).
        for (QWidget* w : controls->all()) {
            w->installEventFilter(this);
        }
        bar->installEventFilter(this);
        client->installEventFilter(this);
        connect(bar, &QAbstractSlider::actionTriggered, bar, [this](int action) {
            const int request = scrollRequestOf(action);
            if (request >= 0) {
                deliver(DialogMessage::scroll(DialogMessage::Kind::VerticalScroll,
                                              DialogMessage::windowBar, request,
                                              bar->sliderPosition()));
            }
        });
        connect(bar, &QAbstractSlider::sliderReleased, bar, [this] {
            const int p = bar->sliderPosition();
            deliver(DialogMessage::scroll(DialogMessage::Kind::VerticalScroll,
                                          DialogMessage::windowBar, scroll::thumbPosition, p));
            deliver(DialogMessage::scroll(DialogMessage::Kind::VerticalScroll,
                                          DialogMessage::windowBar, scroll::endScroll, p));
            bar->setValue(barPosition);
        });
        resize(client->width() + barWidth(), client->height());
        layoutChildren();
        // A tone recording dropped from a file manager is opened.
        setAcceptDrops(true);
        // The close button while a box is open, which Qt would drop.
        closeFilter = std::make_unique<CloseRequestFilter>(*this, [self = QPointer<Frame>(this)] {
            if (self) {
                self->requestClose();
            }
        });
    }

    int barWidth() const { return style()->pixelMetric(QStyle::PM_ScrollBarExtent); }

    void layoutChildren() {
        const int clientWidth = std::max(width() - barWidth(), 0);
        client->setGeometry(0, 0, clientWidth, height());
        bar->setGeometry(clientWidth, 0, barWidth(), height());
    }

    // Every message reaches the procedure here, on the user-interface thread.
    void deliver(const DialogMessage& message) {
        if (!destroyed && procedure_) {
            procedure_(owner_, message);
        }
    }

    void requestClose() {
        if (destroyed) {
            return;
        }
        // A box's nested event loop must not end the objects its caller uses:
        // the open boxes are dismissed, and so is any its caller opens next,
        // and the close follows once the last of them has returned to its
        // caller.
        if (modalActive()) {
            modalService().dismissAll();
        }
        QPointer<Frame> self(this);
        afterModal([self] {
            if (self) {
                DialogMessage m;
                m.kind = DialogMessage::Kind::Close;
                self->deliver(m);
            }
            endDismissal();
        });
    }

    QWidget* control(int id) const { return controls->widget(id); }
    QWidget* controlOrBar(int id) const {
        return id == DialogMessage::windowBar ? bar : control(id);
    }

    void scrollStrips(int request) {
        deliver(DialogMessage::scroll(DialogMessage::Kind::VerticalScroll, DialogMessage::windowBar,
                                      request, bar->sliderPosition()));
    }

    // A notch scrolls one strip, as the bar's arrows do; a fine wheel
    // (a touchpad) scrolls once it has turned a notch's worth.
    void wheel(const QWheelEvent* event) {
        wheelTurn += event->angleDelta().y();
        while (wheelTurn >= wheelNotch) {
            wheelTurn -= wheelNotch;
            scrollStrips(scroll::lineUp);
        }
        while (wheelTurn <= -wheelNotch) {
            wheelTurn += wheelNotch;
            scrollStrips(scroll::lineDown);
        }
    }

    bool stripKey(const QKeyEvent* event, const QWidget* focus) {
        const int request = stripScrollRequest(event->key());
        if (request < 0 || (event->modifiers() & ~Qt::KeypadModifier) != 0 ||
            keepsOwnKey(focus, event->key())) {
            return false;
        }
        scrollStrips(request);
        return true;
    }

    MainDialog& owner_;
    Procedure procedure_;
    ClientArea* client = nullptr;
    QScrollBar* bar = nullptr;
    std::unique_ptr<TemplateControls> controls;
    std::map<int, PaneView*> paneViews;
    std::unique_ptr<ChangeNotifier> notifier;
    std::unique_ptr<CloseRequestFilter> closeFilter;
    int wheelTurn = 0;
    QLabel* notice = nullptr;
    QTimer* ticker = nullptr;
    std::function<void()> tickerTask;
    std::map<int, int> icons;
    int windowIconId = noIcon;
    int barPosition = 0;
    bool destroyed = false;
    Dropped dropped;
    KeyRepeats keyRepeats;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Wheel && (watched == bar || watched == client)) {
            wheel(static_cast<QWheelEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::KeyRelease) {
            keyRepeats.released(*static_cast<QKeyEvent*>(event));
        }
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (keyRepeats.repeated(*key) && pressesSomething(key)) {
                return true;
            }
            // A key the focus widget let through arrives at the client area
            // next; what matters is still the widget that has the focus.
            const QWidget* focus =
                watched == client ? focusWidget() : qobject_cast<QWidget*>(watched);
            return stripKey(key, focus);
        }
        return QWidget::eventFilter(watched, event);
    }
    void wheelEvent(QWheelEvent* event) override { wheel(event); }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        layoutChildren();
        DialogMessage m;
        m.kind = DialogMessage::Kind::Size;
        m.x = client->width();
        m.y = client->height();
        deliver(m);
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        keyRepeats.released(*event);
        QWidget::keyReleaseEvent(event);
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange) {
            // A key released while another window had the keyboard never
            // reached this one.
            keyRepeats.forget();
        }
        QWidget::changeEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        requestClose();
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls() || event->mimeData()->hasText()) {
            event->acceptProposedAction();
        }
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        Dropped what;
        const QMimeData* data = event->mimeData();
        if (data->hasUrls()) {
            for (const QUrl& url : data->urls()) {
                if (url.isLocalFile()) {
                    what.paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
                } else {
                    what.others += 1;
                }
            }
        } else {
            what.others += 1;
        }
        event->acceptProposedAction();
        dropped = std::move(what);
        DialogMessage m;
        m.kind = DialogMessage::Kind::Drop;
        deliver(m);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (keyRepeats.repeated(*event) && pressesSomething(event)) {
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            deliver(DialogMessage::command(2, 0, 0));
            return;
        }
        if (event->key() == Qt::Key_P && (event->modifiers() & Qt::ControlModifier) != 0) {
            // "Print Graph" is hidden; the keyboard reaches it.
            deliver(DialogMessage::command(printCommand, 0, 0));
            return;
        }
        if (event->key() == Qt::Key_Z && (event->modifiers() & Qt::ControlModifier) != 0) {
            deliver(DialogMessage::command(undoCommand, 0, 0));
            return;
        }
        if (event->key() == Qt::Key_O && (event->modifiers() & Qt::ControlModifier) != 0) {
            deliver(DialogMessage::command(resources::ids::openTone, 0, 0));
            return;
        }
        if (event->key() == Qt::Key_S && (event->modifiers() & Qt::ControlModifier) != 0) {
            // As the button: refused while a recording runs.
            deliver(DialogMessage::command(saveRecordedCommand, 0, 0));
            return;
        }
        if (stripKey(event, focusWidget())) {
            return;
        }
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            auto* button = static_cast<QPushButton*>(controls->defaultButton());
            if (button != nullptr && button->isEnabled()) {
                button->click();
            }
            return;
        }
        QWidget::keyPressEvent(event);
    }
};

MainDialog::MainDialog(const resources::DialogTemplate& dialogTemplate, Procedure procedure)
    : frame_(std::make_unique<Frame>(*this, dialogTemplate, std::move(procedure))) {
    DialogMessage init;
    init.kind = DialogMessage::Kind::InitDialog;
    frame_->deliver(init);
}

MainDialog::~MainDialog() {
    frame_->destroyed = true;
    withdrawSurfaces();
}

void MainDialog::show() {
    if (!frame_->destroyed) {
        frame_->show();
    }
}

void MainDialog::close() {
    frame_->requestClose();
}

void MainDialog::destroy() {
    frame_->destroyed = true;
    frame_->hide();
}

bool MainDialog::isDestroyed() const {
    return frame_->destroyed;
}

void MainDialog::setWindowEnabled(bool enabled) {
    frame_->setEnabled(enabled);
}

bool MainDialog::isWindowEnabled() const {
    return frame_->isEnabled();
}

bool MainDialog::hasControl(int id) const {
    return frame_->control(id) != nullptr;
}

void MainDialog::enable(int id, bool enabled) {
    if (QWidget* w = frame_->control(id)) {
        w->setEnabled(enabled);
    }
}

bool MainDialog::isEnabled(int id) const {
    const QWidget* w = frame_->control(id);
    return w != nullptr && w->isEnabled();
}

void MainDialog::setVisible(int id, bool visible) {
    if (QWidget* w = frame_->control(id)) {
        w->setVisible(visible);
    }
}

bool MainDialog::isVisible(int id) const {
    const QWidget* w = frame_->control(id);
    return w != nullptr && !w->isHidden();
}

void MainDialog::check(int id, bool checked) {
    if (auto* radio = qobject_cast<QAbstractButton*>(frame_->control(id))) {
        radio->setChecked(checked);
    }
}

bool MainDialog::isChecked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(frame_->control(id));
    return button != nullptr && button->isChecked();
}

void MainDialog::setText(int id, const std::string& text) {
    QWidget* w = frame_->control(id);
    const QString q = QString::fromStdString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(q);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(q);
    }
}

std::string MainDialog::text(int id) const {
    QWidget* w = frame_->control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    return {};
}

void MainDialog::setIcon(int id, int iconId) {
    auto* button = qobject_cast<QAbstractButton*>(frame_->control(id));
    if (button == nullptr) {
        return;
    }
    button->setIcon(programIcon(iconId));
    button->setIconSize(QSize(iconSize, iconSize));
    // A button that shows only an icon is read out as what the icon means.
    if (button->text().isEmpty()) {
        button->setAccessibleName(QString::fromUtf8(resources::iconMeaning(iconId)));
    }
    frame_->icons[id] = iconId;
}

int MainDialog::icon(int id) const {
    const auto it = frame_->icons.find(id);
    return it == frame_->icons.end() ? noIcon : it->second;
}

void MainDialog::setWindowIcon(int iconId) {
    // The main window shows the program's own icon, the one the desktop
    // shows in its menu, at every size.
    frame_->setWindowIcon(iconId == resources::icons::window ? applicationIcon()
                                                             : programIcon(iconId));
    frame_->windowIconId = iconId;
}

int MainDialog::windowIcon() const {
    return frame_->windowIconId;
}

std::string MainDialog::title() const {
    return frame_->windowTitle().toStdString();
}

void MainDialog::addListEntry(int id, const std::string& text) {
    if (auto* list = qobject_cast<QComboBox*>(frame_->control(id))) {
        // A classic list starts with nothing selected; Qt selects the first
        // entry added, so the selection is kept as it was.
        const int selected = list->currentIndex();
        list->addItem(QString::fromStdString(text));
        list->setCurrentIndex(selected);
    }
}

void MainDialog::selectListEntry(int id, int index) {
    if (auto* list = qobject_cast<QComboBox*>(frame_->control(id))) {
        list->setCurrentIndex(index);
    }
}

int MainDialog::listSelection(int id) const {
    const auto* list = qobject_cast<const QComboBox*>(frame_->control(id));
    return list == nullptr ? -1 : list->currentIndex();
}

std::vector<std::string> MainDialog::listEntries(int id) const {
    std::vector<std::string> entries;
    if (const auto* list = qobject_cast<const QComboBox*>(frame_->control(id))) {
        for (int i = 0; i < list->count(); ++i) {
            entries.push_back(list->itemText(i).toStdString());
        }
    }
    return entries;
}

void MainDialog::setScrollRange(int id, int minimum, int maximum) {
    auto* bar = qobject_cast<QScrollBar*>(frame_->control(id));
    if (bar != nullptr) {
        bar->setRange(minimum, std::max(minimum, maximum));
    }
}

void MainDialog::setScrollPosition(int id, int position) {
    if (auto* bar = qobject_cast<QScrollBar*>(frame_->control(id))) {
        bar->setValue(position);
    }
}

int MainDialog::scrollPosition(int id) const {
    const auto* slider = qobject_cast<const QAbstractSlider*>(frame_->control(id));
    return slider == nullptr ? 0 : slider->value();
}

void MainDialog::setBarRange(int minimum, int maximum, int page) {
    QScrollBar* bar = frame_->bar;
    // A classic bar's position runs to maximum - page + 1.
    bar->setRange(minimum, std::max(minimum, maximum - std::max(page, 1) + 1));
    bar->setPageStep(std::max(page, 1));
    bar->setSingleStep(1);
    bar->setValue(frame_->barPosition);
}

void MainDialog::setBarPosition(int position) {
    frame_->barPosition = position;
    // While the user holds the thumb it stays under the pointer; it returns
    // to the position when released.
    if (!frame_->bar->isSliderDown()) {
        frame_->bar->setValue(position);
    }
}

int MainDialog::barPosition() const {
    return frame_->bar->value();
}

int MainDialog::barMaximumPosition() const {
    return frame_->bar->maximum();
}

Rect MainDialog::controlRect(int id) const {
    const QWidget* w = frame_->control(id);
    return w == nullptr ? Rect{} : toRect(w->geometry());
}

void MainDialog::moveControl(int id, const Rect& rect) {
    if (QWidget* w = frame_->control(id)) {
        w->setGeometry(toQRect(rect));
    }
}

int MainDialog::clientWidth() const {
    return frame_->client->width();
}

int MainDialog::clientHeight() const {
    return frame_->client->height();
}

void MainDialog::resizeClient(int width, int height) {
    frame_->resize(width + frame_->barWidth(), height);
}

void MainDialog::showSurface(int id, PaneSurface& surface) {
    QWidget* host = frame_->control(id);
    if (host == nullptr) {
        return;
    }
    // Mouse input on a pane goes to the main window, which tracks selections
    // in its own coordinates.
    host->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* view = new PaneView(surface, *frame_->notifier, host);
    view->move(0, 0);
    view->show();
    frame_->paneViews[id] = view;
}

void MainDialog::withdrawSurfaces() {
    for (auto& [id, view] : frame_->paneViews) {
        delete view;
    }
    frame_->paneViews.clear();
}

void MainDialog::setPicture(int id, std::unique_ptr<Picture> picture) {
    if (auto* view = dynamic_cast<PictureView*>(frame_->control(id))) {
        view->setPicture(std::move(picture));
    }
}

bool MainDialog::hasPicture(int id) const {
    const auto* view = dynamic_cast<const PictureView*>(frame_->control(id));
    return view != nullptr && view->hasPicture();
}

int MainDialog::controlWidth(int id) const {
    return controlRect(id).width();
}

int MainDialog::controlHeight(int id) const {
    return controlRect(id).height();
}

void MainDialog::send(const DialogMessage& message) {
    frame_->deliver(message);
}

void MainDialog::post(const DialogMessage& message) {
    QPointer<QWidget> target(frame_.get());
    Frame* frame = frame_.get();
    // Delivered when no box is open (afterModal waits for every box).
    QMetaObject::invokeMethod(
        frame,
        [target, frame, message] {
            afterModal([target, frame, message] {
                if (target) {
                    frame->deliver(message);
                }
            });
        },
        Qt::QueuedConnection);
}

void MainDialog::click(int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(frame_->control(id))) {
        button->click();
    }
}

void MainDialog::scrollAction(int id, int request) {
    QAbstractSlider* slider = id == DialogMessage::windowBar
                                  ? frame_->bar
                                  : qobject_cast<QAbstractSlider*>(frame_->control(id));
    if (slider == nullptr) {
        return;
    }
    static const std::map<int, QAbstractSlider::SliderAction> actions = {
        {scroll::lineUp, QAbstractSlider::SliderSingleStepSub},
        {scroll::lineDown, QAbstractSlider::SliderSingleStepAdd},
        {scroll::pageUp, QAbstractSlider::SliderPageStepSub},
        {scroll::pageDown, QAbstractSlider::SliderPageStepAdd},
        {scroll::top, QAbstractSlider::SliderToMinimum},
        {scroll::bottom, QAbstractSlider::SliderToMaximum},
    };
    const auto it = actions.find(request);
    if (it != actions.end()) {
        slider->triggerAction(it->second);
    }
}

void MainDialog::dragThumb(int id, int position) {
    QAbstractSlider* slider = id == DialogMessage::windowBar
                                  ? frame_->bar
                                  : qobject_cast<QAbstractSlider*>(frame_->control(id));
    if (slider == nullptr) {
        return;
    }
    slider->setSliderDown(true);
    slider->setSliderPosition(position);
    slider->setSliderDown(false);
}

void MainDialog::clickAt(int x, int y) {
    QWidget* client = frame_->client;
    QWidget* target = client->childAt(x, y);
    if (target == nullptr) {
        target = client;
    }
    const QPointF local = target->mapFrom(client, QPointF(x, y));
    const QPointF global = target->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void MainDialog::mouse(Mouse action, int x, int y) {
    QWidget* target = frame_->client;
    const QPointF local(x, y);
    const QPointF global = target->mapToGlobal(local);
    const QEvent::Type type = action == Mouse::Press     ? QEvent::MouseButtonPress
                              : action == Mouse::Release ? QEvent::MouseButtonRelease
                                                         : QEvent::MouseMove;
    const Qt::MouseButton button = action == Mouse::Move ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = action == Mouse::Release ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

namespace {

QKeyEvent keyEvent(QEvent::Type type, MainDialog::Key key) {
    using Key = MainDialog::Key;
    static const std::map<Key, Qt::Key> codes = {
        {Key::Escape, Qt::Key_Escape}, {Key::Return, Qt::Key_Return},
        {Key::CtrlP, Qt::Key_P},       {Key::CtrlZ, Qt::Key_Z},
        {Key::CtrlS, Qt::Key_S},       {Key::CtrlO, Qt::Key_O},
        {Key::Up, Qt::Key_Up},         {Key::Down, Qt::Key_Down},
        {Key::PageUp, Qt::Key_PageUp}, {Key::PageDown, Qt::Key_PageDown},
        {Key::Home, Qt::Key_Home},     {Key::End, Qt::Key_End},
    };
    const bool control =
        key == Key::CtrlP || key == Key::CtrlZ || key == Key::CtrlS || key == Key::CtrlO;
    return QKeyEvent(type, codes.at(key), control ? Qt::ControlModifier : Qt::NoModifier);
}

// The keyboard's clock: every key event has a time of its own, except the
// two halves of a repeat.
unsigned long nextKeyTime() {
    static unsigned long time = 0;
    return time += 10;
}

}  // namespace

void MainDialog::sendKey(bool press, Key key, unsigned long time) {
    QKeyEvent event = keyEvent(press ? QEvent::KeyPress : QEvent::KeyRelease, key);
    event.setTimestamp(time);
    // To the widget that has the focus, as the keyboard gives it.
    QWidget* focus = frame_->focusWidget();
    QApplication::sendEvent(focus != nullptr ? focus : frame_.get(), &event);
}

void MainDialog::pressKey(Key key) {
    sendKey(true, key, nextKeyTime());
    sendKey(false, key, nextKeyTime());
}

#ifdef TRELMONT_TEST_HOOKS
void MainDialog::holdKey(Key key, int repeats, bool pressedHere) {
    if (pressedHere) {
        sendKey(true, key, nextKeyTime());
    }
    // Each repeat as the X server sends it, a release and a press of one
    // time, neither marked as a repeat.
    for (int i = 0; i < repeats && !frame_->destroyed; ++i) {
        const unsigned long time = nextKeyTime();
        sendKey(false, key, time);
        sendKey(true, key, time);
    }
    sendKey(false, key, nextKeyTime());
}
#endif

const MainDialog::Dropped& MainDialog::dropped() const {
    return frame_->dropped;
}

#ifdef TRELMONT_TEST_HOOKS
void MainDialog::drop(const std::vector<std::string>& urls) {
    const auto data = std::make_unique<QMimeData>();
    QList<QUrl> list;
    for (const std::string& url : urls) {
        list << QUrl(QString::fromStdString(url));
    }
    data->setUrls(list);
    const QPointF at(frame_->width() / 2.0, frame_->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame_.get(), &enter);
    if (enter.isAccepted()) {
        QDropEvent dropEvent(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame_.get(), &dropEvent);
    }
}
#endif

void MainDialog::focus(int id) {
    if (QWidget* w = frame_->controlOrBar(id)) {
        w->setFocus(Qt::OtherFocusReason);
    }
}

void MainDialog::turnWheel(int x, int y, int eighths) {
    // To what the pointer is over, as the wheel gives it: the bar beside
    // the client area, or the topmost control at the point.
    QWidget* target = x >= frame_->client->width() ? frame_->bar : frame_->client->childAt(x, y);
    if (target == nullptr) {
        target = frame_->client;
    }
    const QPointF local = target->mapFrom(frame_.get(), QPointF(x, y));
    const QPointF global = target->mapToGlobal(local);
    QWheelEvent event(local, global, QPoint(), QPoint(0, eighths), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void MainDialog::describe(int id, const std::string& description) {
    if (QWidget* w = frame_->controlOrBar(id)) {
        w->setAccessibleDescription(QString::fromStdString(description));
    }
}

std::string MainDialog::accessibleText(int id, Accessible what) const {
    QWidget* w = frame_->controlOrBar(id);
    if (w == nullptr) {
        return {};
    }
    if (what == Accessible::ToolTip) {
        return w->toolTip().toStdString();
    }
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
    if (face == nullptr) {
        return {};
    }
    return face->text(what == Accessible::Name ? QAccessible::Name : QAccessible::Description)
        .toStdString();
}

void MainDialog::showNotice(const std::string& text) {
    QLabel*& notice = frame_->notice;
    if (notice == nullptr) {
        notice = new QLabel(frame_->client);
        notice->setAlignment(Qt::AlignCenter);
        // A notice longer than the strip is wide (several notes on an
        // opened tone file) goes on in more lines, never cut off.
        notice->setWordWrap(true);
        notice->setAttribute(Qt::WA_TransparentForMouseEvents);
        notice->setStyleSheet(QStringLiteral(
            "QLabel { background: #fff3b0; color: #b00000; border: 2px solid #b00000;"
            " font-weight: bold; padding: 2px; }"));
    }
    // Across the top of the first strip slot.
    const QWidget* firstPane = frame_->control(firstPaneId);
    const QRect slot = firstPane != nullptr ? firstPane->geometry() : QRect(0, 0, 400, 30);
    notice->setText(QString::fromStdString(text));
    const int height = std::clamp(notice->heightForWidth(slot.width()), noticeHeight,
                                  std::max(slot.height(), noticeHeight));
    notice->setGeometry(slot.left(), slot.top(), slot.width(), height);
    notice->raise();
    notice->show();
}

void MainDialog::hideNotice() {
    if (frame_->notice != nullptr) {
        frame_->notice->hide();
    }
}

bool MainDialog::isNoticeShown() const {
    return frame_->notice != nullptr && !frame_->notice->isHidden();
}

std::string MainDialog::noticeText() const {
    return frame_->notice != nullptr ? frame_->notice->text().toStdString() : std::string();
}

void MainDialog::setTicker(int milliseconds, std::function<void()> task) {
    frame_->tickerTask = std::move(task);
    if (!frame_->tickerTask) {
        if (frame_->ticker != nullptr) {
            frame_->ticker->stop();
        }
        return;
    }
    if (frame_->ticker == nullptr) {
        frame_->ticker = new QTimer(frame_.get());
        Frame* frame = frame_.get();
        QObject::connect(frame->ticker, &QTimer::timeout, frame, [frame] {
            if (frame->tickerTask && !frame->destroyed) {
                frame->tickerTask();
            }
        });
    }
    frame_->ticker->start(milliseconds);
}

void MainDialog::setTickerInterval(int milliseconds) {
    QTimer* ticker = frame_->ticker;
    if (ticker != nullptr && ticker->isActive() && ticker->interval() != milliseconds) {
        ticker->setInterval(milliseconds);
    }
}

bool MainDialog::saveScreenshot(const std::string& path) const {
    return frame_->grab().save(QString::fromStdString(path), "PNG");
}

}  // namespace platform
