#include "support/WalkBound.h"

#include <cstdio>
#include <cstdlib>

WalkBound::WalkBound(long maxTurns) {
    ticker_.setInterval(0);
    QObject::connect(&ticker_, &QTimer::timeout, [this, maxTurns] {
        if (++turns_ > maxTurns) {
            std::fprintf(stderr,
                         "The folder walk went past %ld event-loop turns: it must be "
                         "following a link round a loop.\n",
                         maxTurns);
            std::fflush(stderr);
            std::_Exit(EXIT_FAILURE);
        }
    });
    ticker_.start();
}
