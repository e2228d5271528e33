// The environment object as a screen opens it: the widget-side piece that
// shows the constructor's warning, so the object itself stays Qt Core only.
#pragma once

#include "env/TTesselClass.h"

#include <memory>

class QWidget;

namespace sqda {

// A new environment object on `service`. A warning of its constructor is shown,
// while the constructor runs, in a warning box owned by `window` (or, without
// one, the host's application window).
std::unique_ptr<TTesselClass> openEnvironment(CoorDispRef service, QWidget *window);

} // namespace sqda
