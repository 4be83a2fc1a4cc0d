#include <gtest/gtest.h>

#include "OffscreenApplicationTest.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/MainDialog.h"
#include "platform/PictureView.h"
#include "resources/DialogTemplates.h"

// The main window's controls as the layout of the recorder fixes them, written
// out here on their own so that a slip in the template data or in building the
// widgets from it shows up as a difference.

namespace platform {
namespace {

using resources::ControlKind;

enum class Kind {
    IconDefaultButton,
    IconButton,
    Button,
    Radio,
    DropList,
    DropCombo,
    HScroll,
    Trackbar,
    GroupBox,
    Text,
    BlackRect,
    WhiteRect,
    ReadOnlyEdit,
    Picture,
};

struct Row {
    int id;
    Kind kind;
    std::string caption;
    int x, y, width, height;  // dialog units
    bool group, visible, enabled;
};

constexpr int none = -1;

const std::string notice =
    std::string(4, ' ') + "THIS SOFTWARE IS TO BE USED FOR RECORDING ONLY." + std::string(20, ' ') +
    "PLEASE SEND THE RECORDED FILE TO THE MEDICAL CENTER" + std::string(3, ' ');

std::vector<Row> mainRows() {
    std::vector<Row> rows = {
        {1003, Kind::IconDefaultButton, "", 16, 5, 47, 25, false, true, true},
        {1019, Kind::IconButton, "", 366, 0, 22, 20, false, false, true},
        {1012, Kind::HScroll, "", 186, 18, 61, 12, true, false, false},
        {1008, Kind::DropList, "", 518, 10, 66, 51, true, true, false},
        {1014, Kind::DropList, "", 432, 9, 16, 95, false, false, false},
        {101, Kind::BlackRect, "", 258, 24, 26, 16, false, false, true},
        {1013, Kind::ReadOnlyEdit, "", 276, 36, 18, 12, false, false, true},
        {1016, Kind::Picture, "", 312, 5, 12, 37, false, true, true},
        {1005, Kind::Radio, "8", 601, 13, 24, 10, true, true, false},
        {1006, Kind::Radio, "16", 625, 13, 23, 10, true, true, false},
        {1022, Kind::DropCombo, "", 255, 65, 35, 30, false, false, false},
    };
    for (int i = 0; i < 20; ++i) {
        rows.push_back(
            {1029 + i, Kind::WhiteRect, "", 16, 50 + 80 * i, 640, 78, false, true, true});
    }
    rows.insert(rows.end(),
                {
                    {1024, Kind::Button, " F I L T E R ", 351, 10, 78, 14, false, true, false},
                    {1025, Kind::DropList, "", 235, 10, 68, 63, false, true, false},
                    {1026, Kind::DropList, "", 235, 24, 68, 63, false, true, false},
                    {1027, Kind::Button, "Print Graph", 234, 30, 50, 14, false, false, true},
                    {none, Kind::GroupBox, "Bits per sample", 589, 3, 66, 22, false, true, false},
                });
    const int slotX[] = {362, 392, 422, 452, 482, 511, 542, 572, 601, 632};
    for (int k = 1; k <= 10; ++k) {
        const int width = k == 8 ? 21 : k == 10 ? 24 : 20;
        rows.push_back({1055 + k, Kind::Radio, std::to_string(k), slotX[k - 1], 35, width, 10,
                        false, true, k == 1});
    }
    rows.insert(rows.end(),
                {
                    {1066, Kind::GroupBox, "", 350, 26, 306, 23, true, true, false},
                    {1080, Kind::Button, "SAVE  RECORDED", 65, 8, 78, 18, false, true, true},
                    {none, Kind::Text, "FFT", 433, 0, 11, 8, true, false, false},
                    {none, Kind::Text, "SAMPLING", 518, 1, 36, 8, true, true, false},
                    {none, Kind::Text, notice, 8, 31, 222, 18, true, true, true},
                    {1077, Kind::Trackbar, "", 323, 0, 14, 48, false, true, true},
                });
    return rows;
}

bool isDropDown(Kind kind) {
    return kind == Kind::DropList || kind == Kind::DropCombo;
}

// 3/2 pixel per unit across, 13/8 down, each figure truncated on its own.
Rect pixels(const Row& r) {
    const int left = r.x * 3 / 2;
    const int top = r.y * 13 / 8;
    return {left, top, left + r.width * 3 / 2, top + r.height * 13 / 8};
}

std::string where(const Row& r, std::size_t index) {
    return "control #" + std::to_string(index) + " id " + std::to_string(r.id) + " \"" + r.caption +
           "\"";
}

std::pair<ControlKind, bool> templateKind(Kind kind) {
    switch (kind) {
        case Kind::IconDefaultButton:
            return {ControlKind::DefaultPushButton, true};
        case Kind::IconButton:
            return {ControlKind::PushButton, true};
        case Kind::Button:
            return {ControlKind::PushButton, false};
        case Kind::Radio:
            return {ControlKind::AutoRadioButton, false};
        case Kind::DropList:
            return {ControlKind::DropDownList, false};
        case Kind::DropCombo:
            return {ControlKind::DropDownCombo, false};
        case Kind::HScroll:
            return {ControlKind::HorizontalScrollBar, false};
        case Kind::Trackbar:
            return {ControlKind::VerticalTrackbar, false};
        case Kind::GroupBox:
            return {ControlKind::GroupBox, false};
        case Kind::Text:
            return {ControlKind::LeftText, false};
        case Kind::BlackRect:
            return {ControlKind::BlackRectangle, false};
        case Kind::WhiteRect:
            return {ControlKind::WhiteRectangle, false};
        case Kind::ReadOnlyEdit:
            return {ControlKind::ReadOnlyEdit, false};
        case Kind::Picture:
            return {ControlKind::Picture, false};
    }
    return {ControlKind::Picture, false};
}

TEST(MainDialogTemplateData, ControlTableMatchesTheLayoutRowByRow) {
    const resources::DialogTemplate& t = resources::mainDialogTemplate();
    EXPECT_EQ(t.id, 106);
    EXPECT_STREQ(t.title, "Trelmont Record_ECG");
    EXPECT_STREQ(t.font, "MS Shell Dlg");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.width, 685);
    EXPECT_EQ(t.height, 455);

    const std::vector<Row> rows = mainRows();
    ASSERT_EQ(t.controls.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const resources::ControlTemplate& c = t.controls[i];
        SCOPED_TRACE(where(r, i));
        EXPECT_EQ(c.id, r.id);
        const auto [kind, showsIcon] = templateKind(r.kind);
        EXPECT_EQ(c.kind, kind);
        EXPECT_EQ(c.showsIcon, showsIcon);
        EXPECT_EQ(std::string(c.caption), r.caption);  // blanks and all
        EXPECT_EQ(c.x, r.x);
        EXPECT_EQ(c.y, r.y);
        EXPECT_EQ(c.width, r.width);
        EXPECT_EQ(c.height, r.height);
        EXPECT_EQ(c.group, r.group);
        EXPECT_EQ(c.visible, r.visible);
        EXPECT_EQ(c.enabled, r.enabled);
    }
}

TEST(MainDialogTemplateData, AboutAndPrintCancelDialogs) {
    using C = resources::ControlTemplate;
    const auto expectControl = [](const C& c, int id, ControlKind kind, int x, int y, int width,
                                  int height) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.id, id);
        EXPECT_EQ(c.kind, kind);
        EXPECT_EQ(c.x, x);
        EXPECT_EQ(c.y, y);
        EXPECT_EQ(c.width, width);
        EXPECT_EQ(c.height, height);
        EXPECT_TRUE(c.visible);
        EXPECT_TRUE(c.enabled);
    };

    const resources::DialogTemplate& about = resources::aboutDialogTemplate();
    EXPECT_EQ(about.id, 107);
    EXPECT_STREQ(about.title, "");
    EXPECT_STREQ(about.font, "MS Sans Serif");
    EXPECT_EQ(about.pointSize, 10);
    EXPECT_EQ(about.x, 200);
    EXPECT_EQ(about.y, 200);
    EXPECT_EQ(about.width, 166);
    EXPECT_EQ(about.height, 122);
    ASSERT_EQ(about.controls.size(), 3u);
    expectControl(about.controls[0], 1, ControlKind::DefaultPushButton, 64, 102, 36, 14);
    EXPECT_STREQ(about.controls[0].caption, "OK");
    expectControl(about.controls[1], resources::noId, ControlKind::CentredSunkenText, 38, 34, 86,
                  11);
    EXPECT_STREQ(about.controls[1].caption, "Vestrano_ECG");
    expectControl(about.controls[2], 1020, ControlKind::PushButton, 7, 80, 152, 13);
    EXPECT_STRNE(about.controls[2].caption, "");

    const resources::DialogTemplate& cancel = resources::printCancelDialogTemplate();
    EXPECT_STREQ(cancel.title, "");
    EXPECT_STREQ(cancel.font, "MS Sans Serif");
    EXPECT_EQ(cancel.pointSize, 8);
    EXPECT_EQ(cancel.width, 186);
    EXPECT_EQ(cancel.height, 90);
    ASSERT_EQ(cancel.controls.size(), 2u);
    expectControl(cancel.controls[0], 1028, ControlKind::PushButton, 48, 50, 78, 14);
    EXPECT_STREQ(cancel.controls[0].caption, "Cancel print job");
    expectControl(cancel.controls[1], resources::noId, ControlKind::LeftText, 51, 25, 89, 11);
    EXPECT_STREQ(cancel.controls[1].caption, "Printing in progress...");
}

class MainDialogBuilt : public OffscreenApplicationTest {
protected:
    MainDialogBuilt()
        : dialog(std::make_unique<MainDialog>(
              resources::mainDialogTemplate(),
              [this](MainDialog&, const DialogMessage& m) { messages.push_back(m); })) {}

    // The widget that holds the template's controls.
    QWidget* clientArea() const {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* start = top->findChild<QWidget*>(QStringLiteral("1003"))) {
                return start->parentWidget();
            }
        }
        return nullptr;
    }

    std::vector<DialogMessage> messages;
    std::unique_ptr<MainDialog> dialog;
};

TEST_F(MainDialogBuilt, WindowTitleAndClientSize) {
    EXPECT_EQ(dialog->title(), "Trelmont Record_ECG");
    EXPECT_EQ(dialog->clientWidth(), 1028);
    EXPECT_EQ(dialog->clientHeight(), 739);
}

// A notice of several notes on an opened tone file is read whole: it goes
// on in as many lines as it needs over the first strip, where a short one
// keeps its one line.
TEST_F(MainDialogBuilt, ALongNoticeGoesOnInMoreLinesNeverCutOff) {
    QWidget* client = clientArea();
    ASSERT_NE(client, nullptr);
    dialog->showNotice("A notice.");
    QLabel* notice = nullptr;
    for (QLabel* label : client->findChildren<QLabel*>()) {
        notice = label->text() == QStringLiteral("A notice.") ? label : notice;
    }
    ASSERT_NE(notice, nullptr);
    const int oneLine = notice->height();
    std::string text;
    for (int k = 0; k < 4; ++k) {
        text +=
            "3 damaged frames were skipped, the first at 0:05; the file ends at 0:18 of "
            "the 0:20 its header announces. ";
    }
    dialog->showNotice(text);
    EXPECT_GT(notice->height(), oneLine);
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    EXPECT_LE(notice->width(), client->width());
    dialog->showNotice("A notice.");
    EXPECT_EQ(notice->height(), oneLine);
}

TEST_F(MainDialogBuilt, ControlsByIdArePlacedInPixelsWithTheirInitialState) {
    const std::vector<Row> rows = mainRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        if (r.id == none) {
            continue;
        }
        SCOPED_TRACE(where(r, i));
        ASSERT_TRUE(dialog->hasControl(r.id));
        const Rect expected = pixels(r);
        const Rect actual = dialog->controlRect(r.id);
        if (isDropDown(r.kind)) {
            // The closed list may be shorter than the list that drops down.
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.top, expected.top);
            EXPECT_EQ(actual.width(), expected.width());
            EXPECT_GT(actual.height(), 0);
            EXPECT_LE(actual.height(), expected.height());
            EXPECT_TRUE(dialog->listEntries(r.id).empty());
        } else {
            EXPECT_EQ(actual, expected);
        }
        EXPECT_EQ(dialog->isVisible(r.id), r.visible);
        EXPECT_EQ(dialog->isEnabled(r.id), r.enabled);
        if (r.kind == Kind::Radio) {
            EXPECT_FALSE(dialog->isChecked(r.id));
        }
        EXPECT_EQ(dialog->text(r.id), r.caption);
    }
    // The first pane is 960 x 126 pixels, the size all drawing assumes.
    EXPECT_EQ(dialog->controlWidth(1029), 960);
    EXPECT_EQ(dialog->controlHeight(1029), 126);
}

// Kind, caption and colour as the widget shows them.
void expectWidgetKind(const QWidget* w, const Row& r) {
    switch (r.kind) {
        case Kind::IconDefaultButton:
        case Kind::IconButton:
        case Kind::Button: {
            const auto* button = qobject_cast<const QPushButton*>(w);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->isDefault(), r.kind == Kind::IconDefaultButton);
            EXPECT_EQ(button->text().toStdString(), r.caption);
            break;
        }
        case Kind::Radio: {
            const auto* radio = qobject_cast<const QRadioButton*>(w);
            ASSERT_NE(radio, nullptr);
            EXPECT_EQ(radio->text().toStdString(), r.caption);
            break;
        }
        case Kind::DropList:
        case Kind::DropCombo: {
            const auto* list = qobject_cast<const QComboBox*>(w);
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(list->isEditable(), r.kind == Kind::DropCombo);
            break;
        }
        case Kind::HScroll: {
            const auto* bar = qobject_cast<const QScrollBar*>(w);
            ASSERT_NE(bar, nullptr);
            EXPECT_EQ(bar->orientation(), Qt::Horizontal);
            break;
        }
        case Kind::Trackbar: {
            const auto* slider = qobject_cast<const QSlider*>(w);
            ASSERT_NE(slider, nullptr);
            EXPECT_EQ(slider->orientation(), Qt::Vertical);
            EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
            break;
        }
        case Kind::GroupBox: {
            const auto* box = qobject_cast<const QGroupBox*>(w);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->title().toStdString(), r.caption);
            break;
        }
        case Kind::Text: {
            const auto* label = qobject_cast<const QLabel*>(w);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text().toStdString(), r.caption);
            EXPECT_TRUE(label->alignment() & Qt::AlignLeft);
            break;
        }
        case Kind::BlackRect:
        case Kind::WhiteRect: {
            ASSERT_STREQ(w->metaObject()->className(), "QFrame");
            EXPECT_EQ(w->palette().color(QPalette::Window),
                      r.kind == Kind::BlackRect ? QColor(Qt::black) : QColor(Qt::white));
            EXPECT_EQ(static_cast<const QFrame*>(w)->frameShape() == QFrame::Box,
                      r.kind == Kind::WhiteRect);
            break;
        }
        case Kind::ReadOnlyEdit: {
            const auto* edit = qobject_cast<const QLineEdit*>(w);
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(edit->isReadOnly());
            EXPECT_TRUE(edit->hasFrame());
            break;
        }
        case Kind::Picture:
            EXPECT_NE(dynamic_cast<const PictureView*>(w), nullptr);
            break;
    }
}

// Creation order is the stacking and tab order, so the widgets must follow the
// template; the controls without an id can only be found this way.
TEST_F(MainDialogBuilt, WidgetsFollowTemplateOrderWithTheirKinds) {
    QWidget* client = clientArea();
    ASSERT_NE(client, nullptr);
    const QList<QWidget*> widgets = client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const std::vector<Row> rows = mainRows();
    ASSERT_EQ(static_cast<std::size_t>(widgets.size()), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const QWidget* w = widgets[static_cast<qsizetype>(i)];
        SCOPED_TRACE(where(r, i));
        EXPECT_EQ(w->objectName().toStdString(), r.id == none ? "" : std::to_string(r.id));
        expectWidgetKind(w, r);
        if (r.id == none) {
            const Rect expected = pixels(r);
            EXPECT_EQ(w->geometry(),
                      QRect(expected.left, expected.top, expected.width(), expected.height()));
            EXPECT_EQ(!w->isHidden(), r.visible);
            EXPECT_EQ(w->isEnabled(), r.enabled);
        }
    }
}

TEST_F(MainDialogBuilt, ReturnClicksTheStartStopButtonAndEscapeSendsCommandTwo) {
    const auto commands = [this] {
        std::vector<std::pair<int, int>> seen;
        for (const DialogMessage& m : messages) {
            if (m.kind == DialogMessage::Kind::Command) {
                seen.emplace_back(m.id, m.code);
            }
        }
        return seen;
    };
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().kind, DialogMessage::Kind::InitDialog);

    dialog->pressKey(MainDialog::Key::Return);
    EXPECT_EQ(commands(), (std::vector<std::pair<int, int>>{{1003, 0}}));
    dialog->pressKey(MainDialog::Key::Escape);
    EXPECT_EQ(commands(), (std::vector<std::pair<int, int>>{{1003, 0}, {2, 0}}));
}

}  // namespace
}  // namespace platform
