// OptionHelp: the one-line usage and the whole --help text, both made from the options table
// before main runs. Plain C++; depends on OptionTable.
#pragma once

// The one-line usage and the whole help text (every option), both made from the options table.
extern const char* const UsageText;
extern const char* const HelpText;
