// The wizard's pictures, drawn in code: a tall side picture for the welcome and finish pages
// and a small header picture for the inner pages.
#pragma once

#include <FL/Fl_Widget.H>

namespace qrvn::installer {

class WizardPicture : public Fl_Widget {
 public:
  enum class Kind { Side, Header };
  // A picture of the given kind filling x, y, w, h.
  WizardPicture(int x, int y, int w, int h, Kind kind) : Fl_Widget(x, y, w, h), kind_(kind) {}

 protected:
  void draw() override;

 private:
  void DrawHeadset(int cx, int cy, int size) const;
  Kind kind_;
};

}  // namespace qrvn::installer
