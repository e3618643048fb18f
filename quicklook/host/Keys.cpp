#include "Keys.hpp"

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QWidget>

#include "PreviewViewController.hpp"

namespace orv::ui::host {

namespace {

QList<QKeySequence> keysOf(KeyCommand command) {
    switch (command) {
        case KeyCommand::Close: {
            QList<QKeySequence> keys{QKeySequence(Qt::Key_Space)};
            // One key on two actions would fire neither: each only once.
            for (const auto standard : {QKeySequence::Close, QKeySequence::Quit})
                for (const QKeySequence& key : QKeySequence::keyBindings(standard))
                    if (!keys.contains(key)) keys << key;
            return keys;
        }
        case KeyCommand::Escape: return {QKeySequence(Qt::Key_Escape)};
        case KeyCommand::Zoom: return {QKeySequence(Qt::Key_Z)};
        case KeyCommand::PanLeft: return {QKeySequence(Qt::SHIFT | Qt::Key_Left)};
        case KeyCommand::PanRight: return {QKeySequence(Qt::SHIFT | Qt::Key_Right)};
        case KeyCommand::PanUp: return {QKeySequence(Qt::SHIFT | Qt::Key_Up)};
        case KeyCommand::PanDown: return {QKeySequence(Qt::SHIFT | Qt::Key_Down)};
        case KeyCommand::Up: return {QKeySequence(Qt::Key_Up)};
        case KeyCommand::Down: return {QKeySequence(Qt::Key_Down)};
        case KeyCommand::Left: return {QKeySequence(Qt::Key_Left)};
        case KeyCommand::Right: return {QKeySequence(Qt::Key_Right)};
    }
    return {};
}

}  // namespace

bool handleZoomKey(KeyCommand command, PreviewViewController& controller) {
    PhotoView& photo = controller.photo();
    switch (command) {
        case KeyCommand::Zoom: controller.toggleZoom(); return true;
        case KeyCommand::Escape: return controller.leaveZoom();
        case KeyCommand::PanLeft: photo.panZoomStep(-1, 0); return true;
        case KeyCommand::PanRight: photo.panZoomStep(1, 0); return true;
        case KeyCommand::PanUp: photo.panZoomStep(0, -1); return true;
        case KeyCommand::PanDown: photo.panZoomStep(0, 1); return true;
        default: return false;
    }
}

void bindKeys(QWidget& window, std::initializer_list<KeyCommand> commands, std::function<void(KeyCommand)> handle) {
    for (const KeyCommand command : commands) {
        auto* action = new QAction(&window);  // the window owns it
        action->setShortcuts(keysOf(command));
        action->setShortcutContext(Qt::WindowShortcut);
        action->setAutoRepeat(true);  // holding an arrow keeps stepping
        QObject::connect(action, &QAction::triggered, &window, [handle, command] { handle(command); });
        window.addAction(action);
    }
}

}  // namespace orv::ui::host
