// SPDX-License-Identifier: MIT
#include "forms/song_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "runtime/services.h"

namespace forms {

namespace {

constexpr int kTempoStep = 5;  // percent

QString Time(double seconds) {
    const int whole = static_cast<int>(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

// How the player would name a part: its track's name, or its number, and its channel where the
// track has several.
QString PartName(const music::Song& song, int index) {
    const music::SongPart& part = song.parts[static_cast<std::size_t>(index)];
    QString name = part.name.empty() ? QStringLiteral("Дорожка %1").arg(part.track)
                                     : QString::fromStdString(part.name);
    int channels = 0;
    for (const music::SongPart& other : song.parts) channels += other.track == part.track;
    if (channels > 1) name += QStringLiteral(", канал %1").arg(part.channel + 1);
    return QStringLiteral("%1 (нот: %2)").arg(name).arg(part.notes);
}

// A control that mouse and touch work, and the keys never reach.
template <class Control>
Control* Unfocused(Control* control) {
    control->setFocusPolicy(Qt::NoFocus);
    return control;
}

}  // namespace

SongWindow::SongWindow(runtime::Services& services, music::SongPlayer& player, QWidget& mainWindow)
    : QWidget(&mainWindow, Qt::Window),
      services_(services),
      player_(player),
      mainWindow_(mainWindow),
      name_(new QLabel),
      position_(new QProgressBar),
      tempo_(Unfocused(new QSlider(Qt::Horizontal))),
      tempoLabel_(new QLabel),
      part_(Unfocused(new QComboBox)),
      wait_(Unfocused(new QCheckBox(QStringLiteral("Ждать меня")))),
      state_(new QLabel),
      score_(new QLabel),
      ticker_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Песня"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    position_->setRange(0, 1000);
    tempo_->setRange(25 / kTempoStep, 200 / kTempoStep);
    wait_->setToolTip(QStringLiteral("Песня ждёт, пока вы не нажмёте отмеченные клавиши"));
    score_->setWordWrap(true);
    part_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    part_->setMinimumContentsLength(24);
    auto* restart = Unfocused(new QPushButton(QStringLiteral("Сначала")));

    auto* tempoRow = new QHBoxLayout;
    tempoRow->addWidget(tempo_, 1);
    tempoRow->addWidget(tempoLabel_);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Темп:"), tempoRow);
    form->addRow(QStringLiteral("Партия:"), part_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(wait_);
    buttons->addStretch(1);
    buttons->addWidget(restart);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name_);
    layout->addWidget(position_);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(state_);
    layout->addWidget(score_);
    setMinimumWidth(320);

    connect(tempo_, &QSlider::valueChanged, this,
            [this] { Guarded([this] { ChangeSettings(); }); });
    connect(part_, &QComboBox::activated, this, [this] { Guarded([this] { ChangeSettings(); }); });
    connect(wait_, &QCheckBox::toggled, this, [this] { Guarded([this] { ChangeSettings(); }); });
    connect(restart, &QPushButton::clicked, this,
            [this] { Guarded([this] { player_.Restart(); }); });
    connect(ticker_, &QTimer::timeout, this, [this] { ShowPosition(); });
    player_.OnChange([this] { Refresh(); });
    Refresh();
}

void SongWindow::Refresh() {
    const music::SongPlayer::Settings& settings = player_.settings();
    const QSignalBlocker tempoQuiet(tempo_), partQuiet(part_), waitQuiet(wait_);
    tempo_->setValue(settings.tempo / kTempoStep);
    tempoLabel_->setText(QStringLiteral("%1 %").arg(settings.tempo));
    wait_->setChecked(settings.practice);
    ShowParts();
    part_->setCurrentIndex(settings.part ? *settings.part : part_->count() - 1);
    name_->setText(QString::fromStdString(player_.song().name));
    state_->setText(player_.Waiting() ? QStringLiteral("Ждёт: нажмите отмеченные клавиши")
                    : player_.Playing()                           ? QStringLiteral("Играет")
                    : player_.Position() >= player_.song().length ? QStringLiteral("Песня окончена")
                                                                  : QStringLiteral("Остановлена"));
    ShowScore();
    ShowPosition();
    // The bar moves while the song plays; nothing wakes the program while it does not.
    if (player_.Playing())
        ticker_->start(100);
    else
        ticker_->stop();
    if (player_.Playing() && !isVisible()) {
        adjustSize();
        PlaceBesideMainWindow();
        show();
    }
}

// On the main window's right, or else on its left, or else below it: where the screen has room.
void SongWindow::PlaceBesideMainWindow() {
    constexpr int kGap = 8;
    const QRect main = mainWindow_.frameGeometry();
    const QRect screen = mainWindow_.screen()->availableGeometry();
    const QSize size = frameGeometry().size();
    QPoint at(main.right() + kGap, main.top());
    if (at.x() + size.width() > screen.right()) at.setX(main.left() - kGap - size.width());
    if (at.x() < screen.left()) at = QPoint(main.left(), main.bottom() + kGap);
    at.setX(
        std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() - size.width())));
    at.setY(
        std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() - size.height())));
    move(at);
}

void SongWindow::ShowParts() {
    const music::Song& song = player_.song();
    QStringList names;
    for (std::size_t part = 0; part < song.parts.size(); ++part)
        names << PartName(song, static_cast<int>(part));
    names << QStringLiteral("Все партии");
    QStringList shown;
    for (int item = 0; item < part_->count(); ++item) shown << part_->itemText(item);
    if (shown == names) return;
    part_->clear();
    part_->addItems(names);
}

void SongWindow::ShowScore() {
    const music::Practice::Score* score = player_.score();
    score_->setVisible(score);
    if (!score) return;
    QString text = QStringLiteral("Сыграно нот: %1 из %2 · неверных клавиш: %3")
                       .arg(score->played)
                       .arg(score->notes)
                       .arg(score->wrong);
    if (!score->lateness.empty())
        text += QStringLiteral("\nОпоздание: медиана %1 мс, в пределах 100 мс: %2 %")
                    .arg(std::lround(score->MedianLateness() * 1000))
                    .arg(std::lround(score->ShareWithin(0.1) * 100));
    score_->setText(text);
}

void SongWindow::ShowPosition() {
    const double length = player_.song().length;
    const double at = player_.Position();
    position_->setValue(length > 0 ? static_cast<int>(at / length * 1000) : 0);
    position_->setFormat(Time(at) + QStringLiteral(" / ") + Time(length));
}

void SongWindow::ChangeSettings() {
    music::SongPlayer::Settings settings = player_.settings();
    settings.tempo = tempo_->value() * kTempoStep;
    settings.practice = wait_->isChecked();
    const int part = part_->currentIndex();
    settings.part =
        part >= 0 && part < part_->count() - 1 ? std::optional<int>(part) : std::nullopt;
    player_.Change(settings);
}

void SongWindow::Guarded(const std::function<void()>& handler) {
    services_.Guard(handler);
}

void SongWindow::closeEvent(QCloseEvent* event) {
    Guarded([this] { player_.Stop(); });
    QWidget::closeEvent(event);
}

void SongWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return Guarded([this] { player_.Stop(); });
    QWidget::keyPressEvent(event);
}

}  // namespace forms
