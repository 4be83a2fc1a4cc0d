#include "CaptureWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "PaneView.h"
#include "PictureView.h"

namespace platform {

class CaptureWindow::Widget final : public QWidget {
public:
    Widget() {
        auto* top = new QHBoxLayout;
        button = new QPushButton(this);
        button->setFixedSize(70, 40);
        button->setDefault(true);
        top->addWidget(button);
        notice = new QLabel(this);
        notice->setWordWrap(true);
        top->addWidget(notice, 1);
        scale = new PictureView(this);
        scale->setFixedSize(18, 60);
        top->addWidget(scale);
        panes = new QVBoxLayout;
        panes->setSpacing(2);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(top);
        layout->addLayout(panes);
        layout->addStretch(1);
        connect(button, &QPushButton::clicked, this, [this] { dispatch(startStopId, 0, 0); });
    }

    void dispatch(int id, int code, long long value) {
        if (commands) {
            commands(id, code, value);
        }
    }

    void closeEvent(QCloseEvent* event) override {
        if (closing) {
            closing();
        }
        event->accept();
    }

    QPushButton* button = nullptr;
    QLabel* notice = nullptr;
    PictureView* scale = nullptr;
    QVBoxLayout* panes = nullptr;
    CommandHandler commands;
    std::function<void()> closing;
};

CaptureWindow::CaptureWindow(const std::string& title, const std::string& notice)
    : widget_(std::make_unique<Widget>()) {
    widget_->setWindowTitle(QString::fromStdString(title));
    widget_->notice->setText(QString::fromStdString(notice));
    setRecording(false);
}

CaptureWindow::~CaptureWindow() = default;

void CaptureWindow::addPane(PaneSurface& surface) {
    widget_->panes->addWidget(new PaneView(surface, widget_.get()));
}

void CaptureWindow::removePanes() {
    while (QLayoutItem* item = widget_->panes->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

void CaptureWindow::setScale(std::unique_ptr<Picture> picture) {
    widget_->scale->setPicture(std::move(picture));
}

int CaptureWindow::scaleWidth() const {
    return widget_->scale->width();
}

int CaptureWindow::scaleHeight() const {
    return widget_->scale->height();
}

void CaptureWindow::setRecording(bool recording) {
    widget_->button->setText(recording ? "STOP" : "START");
}

void CaptureWindow::onCommand(CommandHandler handler) {
    widget_->commands = std::move(handler);
}

void CaptureWindow::postCommand(int id, int code, long long value) {
    QPointer<Widget> target(widget_.get());
    QMetaObject::invokeMethod(
        widget_.get(),
        [target, id, code, value] {
            if (target) {
                target->dispatch(id, code, value);
            }
        },
        Qt::QueuedConnection);
}

void CaptureWindow::onClose(std::function<void()> handler) {
    widget_->closing = std::move(handler);
}

void CaptureWindow::show() {
    widget_->show();
}

bool CaptureWindow::saveScreenshot(const std::string& path) {
    return widget_->grab().save(QString::fromStdString(path), "PNG");
}

}  // namespace platform
