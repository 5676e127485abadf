#pragma once

#include <QTimer>

// Ends the test program when a folder walk turns the event loop more often than a walk of the
// test's folders can: a walk that followed links round a loop would otherwise run until the
// ctest timeout. The walk turns the loop once per folder it looks at.
class WalkBound {
  public:
    explicit WalkBound(long maxTurns);

  private:
    QTimer ticker_;
    long turns_ = 0;
};
