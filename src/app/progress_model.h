// The range and position rules of the dialog's two bars, shared by every
// front-end.
#pragma once

class ProgressModel {
 public:
  // range > 0 sets 0..range; position 0 makes the bar visible; then the
  // position is set. A position above the range shows the bar full.
  void Apply(int position, int range);

  int Range() const { return m_nRange; }
  int Position() const { return m_nPosition; }
  bool IsVisible() const { return m_bVisible; }
  // 0.0 to 1.0; negative positions and an empty range read as 0.
  double Fraction() const;

 private:
  int m_nRange = 100;
  int m_nPosition = 0;
  bool m_bVisible = true;
};
