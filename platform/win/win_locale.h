#pragma once

#include "watchdog/date_time_format.h"

namespace gandry {

// The user's locale settings that the default date-time form is made from.
LocaleAnswers ReadUserLocale();

}  // namespace gandry
