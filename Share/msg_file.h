// Modal message box of the graphical programs (GTK 2).
#pragma once

// Box types; any other value shows an information box.
enum MsgType { MSG_INFO = 1, MSG_ERROR = 2, MSG_QUESTION = 3, MSG_WARNING = 4 };

// Shows text unchanged in a modal box with a single OK button and no parent,
// returns when the user has closed it. Always 0.
int Create_Msg_Window(int type, const char* text);
