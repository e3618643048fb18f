// The keys of orvanta-preview's windows, one map for the window of its own
// and the desktop previewer's: Space, Esc and the platform's Close and Quit
// keys close, the arrows step. And the smallest size either window takes.
#pragma once

#include <functional>
#include <initializer_list>

#include <QSize>

class QWidget;

namespace orv::ui::host {

inline constexpr QSize kMinimumWindowSize{480, 320};

enum class KeyCommand { Close, Up, Down, Left, Right };

// Gives `window` an action for each of `commands` with its keys, live while
// the window is active whichever of its children has focus; each calls
// `handle`. Keys of commands not asked for stay with the focused child.
void bindKeys(QWidget& window, std::initializer_list<KeyCommand> commands, std::function<void(KeyCommand)> handle);

}  // namespace orv::ui::host
