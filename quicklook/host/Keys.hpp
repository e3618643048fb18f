// The keys of orvanta-preview's windows, one map for the window of its own
// and the desktop previewer's: Space, Esc and the platform's Close and Quit
// keys close, the arrows step, Z zooms to 100 % and back, Shift and the
// arrows move the zoomed view; Esc leaves the zoom before it closes. And the
// smallest size either window takes.
#pragma once

#include <functional>
#include <initializer_list>

#include <QSize>

class QWidget;

namespace orv::ui {
class PreviewViewController;
}

namespace orv::ui::host {

inline constexpr QSize kMinimumWindowSize{480, 320};

enum class KeyCommand { Close, Escape, Up, Down, Left, Right, Zoom, PanLeft, PanRight, PanUp, PanDown };

// Gives `window` an action for each of `commands` with its keys, live while
// the window is active whichever of its children has focus; each calls
// `handle`. Keys of commands not asked for stay with the focused child.
void bindKeys(QWidget& window, std::initializer_list<KeyCommand> commands, std::function<void(KeyCommand)> handle);

// Does what the zoom's keys ask of `controller`: Z, Shift and an arrow, and
// Esc while zoomed. False for any other command (Esc not zoomed closes).
bool handleZoomKey(KeyCommand command, PreviewViewController& controller);

}  // namespace orv::ui::host
