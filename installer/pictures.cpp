// Pictures: a blue gradient with a headset and sound waves, the call monitor's sign.
#include "installer/pictures.h"

#include <FL/fl_draw.H>

namespace qrvn::installer {
namespace {

Fl_Color Mix(int r0, int g0, int b0, int r1, int g1, int b1, int step, int steps) {
  auto blend = [&](int a, int b) { return static_cast<uchar>(a + (b - a) * step / steps); };
  return fl_rgb_color(blend(r0, r1), blend(g0, g1), blend(b0, b1));
}

}  // namespace

void WizardPicture::DrawHeadset(int cx, int cy, int size) const {
  int band = size / 2;
  int thick = size / 10 > 2 ? size / 10 : 2;
  fl_color(fl_rgb_color(24, 52, 110));
  fl_line_style(FL_SOLID | FL_CAP_ROUND, thick);
  fl_arc(cx - band, cy - band, 2 * band, 2 * band, 0, 180);
  // The microphone boom curves from the left ear cup towards the mouth.
  fl_arc(cx - band, cy - band / 2, 2 * band, 2 * band, 200, 270);
  fl_line_style(0);
  int cupW = size / 5;
  int cupH = size * 2 / 5;
  fl_rectf(cx - band - cupW / 2, cy - cupH / 4, cupW, cupH);
  fl_rectf(cx + band - cupW / 2, cy - cupH / 4, cupW, cupH);
  int mic = size / 8 > 3 ? size / 8 : 3;
  fl_pie(cx - mic / 2, cy + band * 3 / 2 - mic / 2 - band / 2, mic, mic, 0, 360);
}

void WizardPicture::draw() {
  fl_push_clip(x(), y(), w(), h());
  if (kind_ == Kind::Side) {
    for (int i = 0; i < h(); ++i) {
      fl_color(Mix(18, 52, 120, 90, 160, 225, i, h()));
      fl_xyline(x(), y() + i, x() + w() - 1);
    }
    int cx = x() + w() / 2;
    int cy = y() + h() / 3;
    int r = w() / 3;
    fl_color(FL_WHITE);
    fl_pie(cx - r, cy - r, 2 * r, 2 * r, 0, 360);
    DrawHeadset(cx, cy, r);
    // Sound waves leaving the headset.
    fl_color(fl_rgb_color(220, 235, 255));
    fl_line_style(FL_SOLID | FL_CAP_ROUND, 3);
    for (int k = 1; k <= 3; ++k) {
      int rr = r + 10 * k;
      fl_arc(cx - rr, cy - rr, 2 * rr, 2 * rr, -35, 35);
      fl_arc(cx - rr, cy - rr, 2 * rr, 2 * rr, 145, 215);
    }
    fl_line_style(0);
    // A row of level bars, as a monitor would show a live call.
    static const int kLevels[] = {12, 26, 18, 34, 22, 30, 14, 24, 10};
    int barW = 8;
    int baseY = y() + h() * 3 / 4 + 20;
    int startX = cx - (9 * (barW + 4)) / 2;
    fl_color(fl_rgb_color(240, 246, 255));
    for (int k = 0; k < 9; ++k) {
      fl_rectf(startX + k * (barW + 4), baseY - kLevels[k], barW, kLevels[k]);
    }
  } else {
    for (int i = 0; i < w(); ++i) {
      fl_color(Mix(255, 255, 255, 150, 190, 240, i, w()));
      fl_yxline(x() + i, y(), y() + h() - 1);
    }
    int r = h() / 2 - 6;
    int cx = x() + w() - r - 12;
    int cy = y() + h() / 2;
    fl_color(FL_WHITE);
    fl_pie(cx - r, cy - r, 2 * r, 2 * r, 0, 360);
    DrawHeadset(cx, cy, r);
  }
  fl_pop_clip();
}

}  // namespace qrvn::installer
