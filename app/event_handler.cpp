// Error boxes for errors that escape the main window's handlers.
#include "app/event_handler.h"

#include "platform/user_interface.h"

namespace app {

bool run_event_handler(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const EAbort&) {
    return false;
  } catch (const std::bad_alloc&) {
    platform::user_interface().ShowError("Out of memory.");
  } catch (const std::exception& e) {
    platform::user_interface().ShowError(platform::error_box_text(e.what()));
  } catch (...) {
    platform::user_interface().ShowError("Unknown error.");
  }
  return false;
}

}  // namespace app
