#pragma once

#include <QString>

#include <functional>

class Desktop;

// The Help button's message and the occasional visit of the maker's home page.
namespace Help {

// The number of a draw from 1 to 100 that opens the home page.
inline constexpr int WinningDraw = 7;

// The backup advice and the contact page address.
QString HelpMessage();

// A whole number from 1 to 100, equally likely, from a generator seeded from the time of day.
int DrawOneToHundred();
// The same draw from a generator with the given seed.
int DrawOneToHundredWithSeed(unsigned seed);

// Opens the home page in the browser when the draw is the winning one; never waits for it.
// Throws AppError when the desktop cannot open it.
void VisitHomePage(Desktop &desktop, const std::function<int()> &drawOneToHundred);

}  // namespace Help
