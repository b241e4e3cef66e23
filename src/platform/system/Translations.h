#pragma once

namespace platform {

// Qt's own texts (standard buttons, context menus of its widgets) in Chinese, like the app's own
// texts, whatever locale the session runs in. False when Qt's Chinese catalogue is not installed;
// those texts then stay English.
bool installChineseTranslations();

}  // namespace platform
