// SPDX-License-Identifier: MIT
#include "runtime/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <stdexcept>

#include "runtime/services.h"
#include "runtime/timer.h"

namespace runtime {
namespace {

constexpr Color kWhite = Rgb(255, 255, 255);

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The layouts were designed around an 8-point dialog font at 96 dots per inch, narrower than
// today's default sans faces; 11 pixels of the condensed face hold the designed boxes' text.
QFont DesignFont() {
    QFont font = QApplication::font();
    font.setPixelSize(11);
    font.setStretch(QFont::Condensed);
    return font;
}

Qt::WindowFlags FlagsFor(BorderStyle border) {
    const Qt::WindowFlags common = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (border == BorderStyle::FixedDialog) return Qt::Dialog | common;
    return Qt::Window | common | Qt::WindowMinimizeButtonHint;
}

// "Command1", or "Image1(7)" for an element of a control array.
QString ObjectName(const ControlDesign& design) {
    QString name = FromUtf8(design.name);
    if (design.index != kNoIndex) name += QStringLiteral("(%1)").arg(design.index);
    return name;
}

// A click anywhere on the control chooses the option, not only on its circle and text.
class OptionButton final : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    bool hitButton(const QPoint& position) const override { return rect().contains(position); }
};

// Tab enters a group of options at the chosen one.
bool SkippedByTab(const QWidget& widget) {
    const auto* option = qobject_cast<const QRadioButton*>(&widget);
    if (!option || option->isChecked() || !option->autoExclusive()) return false;
    const auto siblings =
        option->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
    return std::any_of(siblings.begin(), siblings.end(), [](const QRadioButton* sibling) {
        return sibling->autoExclusive() && sibling->isChecked();
    });
}

QLabel* NewLabel(const QString& text, QWidget* container) {
    auto* label = new QLabel(container);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

Form::Form(Services& services, const FormDesign& form, std::span<const ControlDesign> controls)
    : QWidget(nullptr, FlagsFor(form.border)),
      services_(services),
      mouseEvents_(new MouseEvents(this, services)) {
    setWindowTitle(FromUtf8(form.caption));
    setFont(DesignFont());
    setFixedSize(Pixels(form.clientWidth), Pixels(form.clientHeight));
    for (const ControlDesign& control : controls) CreateControl(control);
    ApplyTabOrder();
}

Form::~Form() = default;

void Form::CreateControl(const ControlDesign& design) {
    if (design.kind == ControlKind::Timer) {
        // Like every control, a timer comes to life when its window loads.
        auto* timer = new Timer(this, services_);
        timer->setObjectName(ObjectName(design));
        timer->SetEnabled(false);
        timer->SetInterval(design.interval);
        timersAtLoad_.emplace_back(timer, design.enabled);
        controls_.push_back({std::string(design.name), design.index, timer, design.tabIndex});
        return;
    }

    QWidget* container = design.container.empty() ? this : &Get<QWidget>(design.container);
    const QString caption = FromUtf8(design.caption);
    const Qt::FocusPolicy focus = design.tabStop ? Qt::StrongFocus : Qt::ClickFocus;
    QWidget* widget = nullptr;
    switch (design.kind) {
        case ControlKind::Frame:
            widget = new QGroupBox(caption, container);
            break;
        case ControlKind::CommandButton: {
            auto* button = new QPushButton(caption, container);
            button->setAutoDefault(true);  // Enter clicks the button that has the focus
            button->setFocusPolicy(focus);
            if (design.isDefault) defaultButton_ = button;
            if (design.isCancel) cancelButton_ = button;
            widget = button;
            break;
        }
        case ControlKind::OptionButton: {
            auto* option = new OptionButton(caption, container);
            option->setChecked(design.selected);
            option->setFocusPolicy(focus);
            widget = option;
            break;
        }
        case ControlKind::Label: {
            QLabel* label = NewLabel(caption, container);
            label->setWordWrap(design.wordWrap);
            widget = label;
            break;
        }
        case ControlKind::PictureBox:
            widget = NewLabel({}, container);
            SetBackColor(*widget, kWhite);
            widget->setFocusPolicy(focus);
            break;
        case ControlKind::Image:
            widget = NewLabel({}, container);
            break;
        case ControlKind::Timer:
            return;
    }
    widget->setObjectName(ObjectName(design));
    widget->setGeometry(design.place.InPixels());
    // Each control keeps its own mouse events, handled or not: a click on a label inside a frame
    // is the label's alone, never passed on to the frame.
    widget->setAttribute(Qt::WA_NoMousePropagation);
    widget->setEnabled(design.enabled);
    if (!design.visible) widget->hide();
    if (!design.toolTip.empty()) widget->setToolTip(FromUtf8(design.toolTip));
    if (design.foreColor) SetForeColor(*widget, *design.foreColor);
    if (design.backColor) SetBackColor(*widget, *design.backColor);
    controls_.push_back({std::string(design.name), design.index, widget, design.tabIndex});
}

QObject* Form::Find(std::string_view name, int index) const {
    for (const Entry& entry : controls_)
        if (entry.name == name && entry.index == index) return entry.object;
    return nullptr;
}

void Form::FailLookup(std::string_view name, int index) {
    std::string what = "no control " + std::string(name);
    if (index != kNoIndex) what += "(" + std::to_string(index) + ")";
    throw std::logic_error(what + " of the requested kind");
}

std::vector<QWidget*> Form::TabOrder() const {
    std::vector<const Entry*> ordered;
    for (const Entry& entry : controls_)
        if (entry.tabIndex >= 0) ordered.push_back(&entry);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Entry* a, const Entry* b) { return a->tabIndex < b->tabIndex; });
    std::vector<QWidget*> widgets;
    for (const Entry* entry : ordered) {
        auto* widget = qobject_cast<QWidget*>(entry->object);
        if (widget && (widget->focusPolicy() & Qt::TabFocus)) widgets.push_back(widget);
    }
    return widgets;
}

std::vector<QWidget*> Form::TabStops() const {
    std::vector<QWidget*> stops;
    for (QWidget* widget : TabOrder())
        if (widget->isEnabled() && widget->isVisibleTo(this) && !SkippedByTab(*widget))
            stops.push_back(widget);
    return stops;
}

void Form::ApplyTabOrder() {
    const std::vector<QWidget*> order = TabOrder();
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

bool Form::focusNextPrevChild(bool next) {
    const std::vector<QWidget*> stops = TabStops();
    if (stops.empty()) return false;
    const auto current = std::find(stops.begin(), stops.end(), focusWidget());
    const auto count = static_cast<std::ptrdiff_t>(stops.size());
    std::ptrdiff_t target = 0;
    if (current != stops.end())
        target = ((current - stops.begin()) + (next ? 1 : -1) + count) % count;
    else if (!next)
        target = count - 1;
    stops[static_cast<std::size_t>(target)]->setFocus(next ? Qt::TabFocusReason
                                                           : Qt::BacktabFocusReason);
    return true;
}

void Form::FocusFirstTabStop() {
    const std::vector<QWidget*> stops = TabStops();
    if (!stops.empty()) stops.front()->setFocus();
}

void Form::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form::Show() {
    if (!loaded_) {
        loaded_ = true;
        for (const auto& [timer, enabled] : timersAtLoad_) timer->SetEnabled(enabled);
        services_.Guard([this] { OnLoad(); });
        if (!loaded_) return;  // the load handler unloaded its own window
    }
    if (!shownBefore_) {
        shownBefore_ = true;
        CentreOnScreen();
        FocusFirstTabStop();
    }
    show();
    raise();
    activateWindow();
}

core::WindowHandle Form::hWnd() {
    return static_cast<core::WindowHandle>(winId());
}

void Form::OnClick(QAbstractButton& control, std::function<void()> handler) {
    connect(&control, &QAbstractButton::clicked, this,
            [this, handler = std::move(handler)] { services_.Guard(handler); });
}

void Form::OnMouseMove(QWidget& control, MouseHandler handler) {
    mouseEvents_->Add(control, MouseEventKind::Move, std::move(handler));
}

void Form::OnMouseDown(QWidget& control, MouseHandler handler) {
    mouseEvents_->Add(control, MouseEventKind::Down, std::move(handler));
}

void Form::OnMouseUp(QWidget& control, MouseHandler handler) {
    mouseEvents_->Add(control, MouseEventKind::Up, std::move(handler));
}

void Form::closeEvent(QCloseEvent* event) {
    if (loaded_) {
        loaded_ = false;
        services_.Guard([this] { OnUnload(); });
        for (const auto& [timer, enabled] : timersAtLoad_) timer->SetEnabled(false);
        if (modalLoop_) modalLoop_->quit();
    }
    event->accept();
}

void Form::ClickIfEnabled(QPushButton* button) {
    if (button && button->isEnabled() && button->isVisible()) button->click();
}

void Form::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (defaultButton_) return ClickIfEnabled(defaultButton_);
            break;
        case Qt::Key_Escape:
            if (cancelButton_) return ClickIfEnabled(cancelButton_);
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void ShowModal(Form& form) {
    QEventLoop loop;
    form.setWindowModality(Qt::ApplicationModal);
    form.modalLoop_ = &loop;
    form.Show();
    if (form.IsLoaded()) loop.exec(QEventLoop::DialogExec);
    form.modalLoop_ = nullptr;
}

void Unload(Form& form) {
    form.close();
}

void SetPicture(QLabel& control, const QPixmap& picture) {
    control.setPixmap(picture);
    control.resize(picture.deviceIndependentSize().toSize());
}

}  // namespace runtime
