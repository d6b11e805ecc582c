#pragma once
// Small widgets the windows share: the banner, clickable links, the gauge.

#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <functional>

class QAbstractButton;

namespace tav::app {

// Enter presses the window's forward button (when it can be pressed); Esc
// closes the window, which does what its cancel does.
void SetStepKeys(QWidget* window, QAbstractButton* forward);

inline constexpr int kBannerHeight = 76;

// The banner across a window's top: its picture (the one drawn for 2x
// screens where the screen is scaled) with the product's name drawn on it as
// text; the picture's right edge colour fills any width beyond it. A null
// picture leaves a plain strip.
class BannerWidget : public QWidget {
  public:
    explicit BannerWidget(QImage picture, QWidget* parent = nullptr, QImage picture_2x = {});
    bool has_picture() const { return !picture_.isNull(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const QImage& picture_for(qreal ratio) const;

    QImage picture_;
    QImage picture_2x_;
};

// A label that runs an action on a left click.
class ClickLabel : public QLabel {
  public:
    ClickLabel(const QString& text, std::function<void()> on_click, QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    std::function<void()> on_click_;
};

// The blue underlined forum link; without an action it is plain text.
QLabel* make_forum_link(const QString& text, std::function<void()> on_click, QWidget* parent);

// A progress gauge over 64-bit positions (sector numbers), scaled to fit Qt's
// int range.
class GaugeBar : public QProgressBar {
  public:
    explicit GaugeBar(QWidget* parent = nullptr);
    void set_range64(std::int64_t minimum, std::int64_t maximum);
    void set_position64(std::int64_t position);
    std::int64_t maximum64() const { return max_; }
    std::int64_t position64() const { return pos_; }

  private:
    void apply();
    std::int64_t min_ = 0, max_ = 0, pos_ = 0;
};

// scale 2: the picture drawn at twice the size, for scaled screens.
QImage LoadBannerPicture(int scale = 1);

}  // namespace tav::app
