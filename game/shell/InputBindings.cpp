// The key-to-action bindings of menus and play, made once per flow start.
#include "framework/events/InputAction.h"
#include "framework/properties/PropertySet.h"
#include "game/shell/FlowManager.h"

namespace {

struct Binding {
    uint32_t action;
    uint32_t key;
    uint32_t mode;
    int32_t delayMs;
    int32_t repeatMs;
};

constexpr uint32_t kPress = InputMode::Press;
constexpr uint32_t kPressAndHold = InputMode::Press | InputMode::Hold;
constexpr uint32_t kRelease = InputMode::Release;
constexpr int32_t kRepeatMs = 500;

uint32_t digit(uint32_t base, uint32_t n)
{
    return base - n;
}

// In the order they are made; the soft keys swap when the property asks.
const Binding kBindings[] = {
    {ActionId::MenuUp, PlatformKey::Up, kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuDown, PlatformKey::Down, kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuLeft, PlatformKey::Left, kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuRight, PlatformKey::Right, kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuSelect, PlatformKey::Select, kPress, 0, 0},
    {ActionId::MenuBack, PlatformKey::Back, kPress, 0, 0},
    {ActionId::SoftLeft, PlatformKey::SoftLeft, kPress, 0, 0},
    {ActionId::SoftRight, PlatformKey::SoftRight, kPress, 0, 0},
    {ActionId::MenuUp, '2', kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuDown, '8', kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuLeft, '4', kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuRight, '6', kPressAndHold, kRepeatMs, kRepeatMs},
    {ActionId::MenuSelect, '5', kPress, 0, 0},
    {digit(ActionId::Digit0, 0), '0', kPress, 0, 0},
    {digit(ActionId::Digit0, 1), '1', kPress, 0, 0},
    {digit(ActionId::Digit0, 2), '2', kPress, 0, 0},
    {digit(ActionId::Digit0, 3), '3', kPress, 0, 0},
    {digit(ActionId::Digit0, 4), '4', kPress, 0, 0},
    {digit(ActionId::Digit0, 5), '5', kPress, 0, 0},
    {digit(ActionId::Digit0, 6), '6', kPress, 0, 0},
    {digit(ActionId::Digit0, 7), '7', kPress, 0, 0},
    {digit(ActionId::Digit0, 8), '8', kPress, 0, 0},
    {digit(ActionId::Digit0, 9), '9', kPress, 0, 0},
    {ActionId::Digit2Released, '2', kRelease, 0, 0},
    {ActionId::Digit4Released, '4', kRelease, 0, 0},
    {ActionId::Digit5Released, '5', kRelease, 0, 0},
    {ActionId::Digit6Released, '6', kRelease, 0, 0},
    {ActionId::Digit8Released, '8', kRelease, 0, 0},
    {ActionId::PlayUp, PlatformKey::Up, kPress, 0, 0},
    {ActionId::PlayDown, PlatformKey::Down, kPress, 0, 0},
    {ActionId::PlayLeft, PlatformKey::Left, kPress, 0, 0},
    {ActionId::PlayRight, PlatformKey::Right, kPress, 0, 0},
    {ActionId::PlayAction, PlatformKey::Select, kPress, 0, 0},
    {ActionId::PlayAction, GameKey::SelectAlt1, kPress, 0, 0},
    {ActionId::PlayAction, GameKey::SelectAlt2, kPress, 0, 0},
    {ActionId::PlayAction, '5', kPress, 0, 0},
    {ActionId::PlayZero, '0', kPress, 0, 0},
    {ActionId::PlayUpReleased, PlatformKey::Up, kRelease, 0, 0},
    {ActionId::PlayDownReleased, PlatformKey::Down, kRelease, 0, 0},
    {ActionId::PlayLeftReleased, PlatformKey::Left, kRelease, 0, 0},
    {ActionId::PlayRightReleased, PlatformKey::Right, kRelease, 0, 0},
    {ActionId::PlayActionReleased, PlatformKey::Select, kRelease, 0, 0},
    {ActionId::PlayMenu, PlatformKey::Back, kPress, 0, 0},
    {ActionId::PlayMenu, PlatformKey::SoftRight, kPress, 0, 0},
    {ActionId::PlayQuit, PlatformKey::F4, kPress, 0, 0},
    {ActionId::Ui1, '1', kPressAndHold, 0, 0},
    {ActionId::Ui2, '2', kPressAndHold, 0, 0},
    {ActionId::Ui3, '3', kPress, 0, 0},
    {ActionId::Ui4, '4', kPressAndHold, 0, 0},
    {ActionId::Ui6, '6', kPressAndHold, 0, 0},
    {ActionId::Ui7, '7', kPressAndHold, 0, 0},
    {ActionId::Ui8, '8', kPressAndHold, 0, 0},
    {ActionId::Ui9, '9', kPressAndHold, 0, 0},
    {digit(ActionId::Quick1, 0), '1', kPress, 0, 0},
    {digit(ActionId::Quick1, 1), '2', kPress, 0, 0},
    {digit(ActionId::Quick1, 2), '3', kPress, 0, 0},
    {digit(ActionId::Quick1, 3), '4', kPress, 0, 0},
};
static_assert(sizeof kBindings / sizeof kBindings[0] == 57);

constexpr char kSoftkeyReverseKey[] = "Kor-Softkey-Reverse";

} // namespace

void FlowManager::bindInputActions()
{
    const PropertySet* properties = getProperties();
    const bool reversed = properties && properties->getBool(kSoftkeyReverseKey);
    // A second start binds again: the first start's bindings go, or every
    // press would fire its action twice.
    removeInputActions(TaskKey::InputActions);
    for (const Binding& b : kBindings) {
        uint32_t key = b.key;
        if (reversed && (key == PlatformKey::SoftLeft || key == PlatformKey::SoftRight))
            key = key == PlatformKey::SoftLeft ? PlatformKey::SoftRight : PlatformKey::SoftLeft;
        addInputAction(TaskKey::InputActions, b.action, key, b.mode, b.delayMs, b.repeatMs, 1);
    }
}
