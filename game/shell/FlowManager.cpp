// Mode creation by id and the transitions that follow a finished mode.
#include "game/shell/FlowManager.h"

#include "framework/events/InputAction.h"
#include "framework/services/AppStateFlags.h"
#include "game/shell/ResourcePreloader.h"
#include "platform/wince/PlatformSystem.h"
#include "platform/wince/SoundDevice.h"

namespace {

FlowModeCreator g_creators[FlowModeId::Quit] = {};

// Results the top-level modes report.
constexpr uint32_t kResultOk = 1;
constexpr uint32_t kResultContinue = 2;
constexpr uint32_t kResultQuit = 3;

} // namespace

void setFlowModeCreator(int32_t id, FlowModeCreator creator)
{
    if (id >= 1 && id < FlowModeId::Quit)
        g_creators[id - 1] = creator;
}

int FlowManager::enter()
{
    ModeStack::init();
    bindInputActions();
    requestTransition(FlowModeId::Startup, Transition::Push);
    return 0;
}

void FlowManager::exit()
{
    clear();
    ResourcePreloader::unloadList(ShellResourceId::PreloadList);
    removeInputActions(TaskKey::InputActions);
}

int FlowManager::createMode(int32_t id, GameMode** out)
{
    *out = nullptr;
    switch (id) {
    case FlowModeId::MainMenu:
        if (SoundService* sound = getSound()) {
            sound->stop(0);
            sound->stopVibrate(0);
        }
        if ((*out = findMode(id)))
            return 0;
        [[fallthrough]];
    case FlowModeId::Startup:
    case FlowModeId::FrontEnd:
        if (FlowModeCreator creator = g_creators[id - 1])
            *out = creator();
        return 0;
    case FlowModeId::Quit:
        quitProgram();
        return 0;
    default:
        return 0;
    }
}

void FlowManager::onModeResult(int32_t id, GameMode* mode)
{
    const uint32_t result = mode->getResult();
    AppStateFlags* flags = getAppStateFlags();
    switch (id) {
    case FlowModeId::Startup:
        requestTransition(result == kResultOk ? FlowModeId::MainMenu : FlowModeId::Quit, Transition::Replace);
        break;
    case FlowModeId::FrontEnd:
        if (result == kResultOk) {
            if (flags)
                flags->m_flags[AppFlag::LaunchKind] = 0;
            requestTransition(FlowModeId::MainMenu, Transition::Replace);
        } else if (result == kResultContinue) {
            if (flags)
                flags->m_flags[AppFlag::LaunchKind] = 1;
            requestTransition(FlowModeId::MainMenu, Transition::PopTo);
        } else if (result == kResultQuit) {
            quitProgram();
        }
        break;
    case FlowModeId::MainMenu:
        requestTransition(FlowModeId::FrontEnd, Transition::Replace);
        break;
    default:
        break;
    }
}
