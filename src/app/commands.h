#pragma once

// Command identifiers shared by the menu, the toolbar and the accelerators.
enum CCommandId : int {
    ID_SELECT_FILES = 32772,
    ID_EXPORT_RESULTS = 32775,
    ID_STOP_TEST = 32778,
    ID_PREFERENCES = 32780,
    ID_REPAIR_LINKS = 32781,
    ID_WEB_OPTIONS = 32782,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57667,
    ID_CONTEXT_HELP = 57669,
    ID_HELP = 57670,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

// Help topics: the base 0x20000 plus the number of the dialog or window they explain.
enum CHelpTopic : unsigned {
    kHelpContents = 0x20000,
    kHelpMainWindow = 0x20080,
    kHelpSelectFiles = 0x20082,
    kHelpExport = 0x20087,
    kHelpPreferences = 0x20088,
    kHelpRepair = 0x20089,
    kHelpRepairFailure = 0x2008A,
    kHelpWebOptions = 0x2008B,
    kHelpAbout = 0x20064,
};
