// Resource identifiers of both programs.
#pragma once

#define IDI_ICON1 101
