// Modal message box of the graphical programs (GTK 2).
#pragma once

typedef struct _GtkWindow GtkWindow;

// Box types; any other value shows an information box.
enum MsgType { MSG_INFO = 1, MSG_ERROR = 2, MSG_QUESTION = 3, MSG_WARNING = 4 };

// Cuts text before its first broken UTF-8 sequence: GTK takes whole UTF-8
// characters only, and a text cut to its buffer may have split one.
void keep_whole_utf8(char* text);

// snprintf into out (size bytes), then cut to whole UTF-8 characters: texts
// that are whole by themselves may still be split where the buffer ends.
// Returns the length kept.
int format_utf8(char* out, int size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// ReadMsg into value (size bytes), cut to whole UTF-8 characters.
int read_msg_utf8(const char* section, const char* key, char* value, int size);

// Binds the tools' message domain to its directory and code set and makes it
// the default domain.
void bind_message_domain();

// Shows text unchanged in a modal box of the type with a single OK button and
// no parent, dressed (an icon, say) by dress when given; returns when the
// user has closed it.
void run_message_box(int type, const char* text, void (*dress)(GtkWindow*) = nullptr);

// The same, undressed, then a trace line on standard output. Always 0.
int Create_Msg_Window(int type, const char* text);
