#pragma once

#include "platform/system_info.h"

namespace gandry {

// The version and the user's locale through kernel32.
class WinSystemInfo final : public SystemInfo {
 public:
  bool IsNtPlatform() override;
  LocaleAnswers UserLocale() override;
};

}  // namespace gandry
