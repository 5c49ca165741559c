#pragma once
// The splash: our own picture, shown for about a second while the frame
// comes up. It never waits for anything and goes away by itself.

class QSplashScreen;

namespace talmoor::frame::ui {

// Shows the splash; it deletes itself when it closes.
QSplashScreen* showSplash();

}  // namespace talmoor::frame::ui
