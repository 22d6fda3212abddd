// Every fixed name of the suite: paths, lock files, launchers, program names,
// configuration sections and keys. Other code spells none of these itself.
#pragma once

// Shared configuration file and message file.
#define QMRV_DIR "/usr/share/RivarAzazuva/QMRV/"
#define CONFIG_FILE QMRV_DIR "config.ini"
#define MSG_FILE QMRV_DIR "msg.ini"

// Installed programs and launchers.
#define DRIVER_DIR "/usr/local/Slatrix_QM_RV_Drivers/"
#define QUILLD_PROGRAM DRIVER_DIR "Quilld"
#define QUILLD_COMPACT_NAME "Quilld-compact"
#define QUILLD_COMPACT_PROGRAM DRIVER_DIR QUILLD_COMPACT_NAME
#define DUPWARN_PROGRAM DRIVER_DIR "Dupwarn"
#define BAREEDGE_PROGRAM DRIVER_DIR "Bareedge"
#define ORIENT_LAUNCHER DRIVER_DIR "run_Orient"
#define ZURAZE_PROGRAM QMRV_DIR "Zuraze"
#define EDGETAB_PROGRAM QMRV_DIR "Edgetab"
#define WHITEBOARD_LAUNCHER "/usr/share/Slatrix_Software/run"

// What starts the service with the desktop session, and the rule that gives
// the desktop user the adapter and keeps ModemManager off it (the property
// it sets).
#define AUTOSTART_ENTRY_NAME "quilld.desktop"
#define AUTOSTART_ENTRY "/etc/xdg/autostart/" AUTOSTART_ENTRY_NAME
#define USER_UNIT "quilld.service"
#define USER_UNIT_FILE "/usr/lib/systemd/user/" USER_UNIT
#define USER_UNIT_WANTED_BY "graphical-session.target.wants/" USER_UNIT
#define UDEV_RULE_FILE "/usr/lib/udev/rules.d/70-whiteboard-board.rules"
#define UINPUT_RULE_FILE "/usr/lib/udev/rules.d/71-whiteboard-uinput.rules"
// The service's own pointer device, made through the kernel's uinput.
#define UINPUT_DEVICE "/dev/uinput"
#define KERNEL_POINTER_NAME "Whiteboard pen pointer"
#define MODEM_MANAGER_IGNORE "ID_MM_DEVICE_IGNORE"

// Argument zero of each program start.
#define DUPWARN_NAME "Dupwarn"
#define BAREEDGE_NAME "Bareedge"
#define ZURAZE_NAME "Zuraze"

// Installation images.
#define IMAGE_RED DRIVER_DIR "Red.bmp"
#define IMAGE_GREY DRIVER_DIR "Grey.xpm"
#define IMAGE_S4 DRIVER_DIR "S4.bmp"
#define IMAGE_S9 DRIVER_DIR "S9.bmp"
#define IMAGE_S20 DRIVER_DIR "S20.bmp"
#define IMAGE_LOGO DRIVER_DIR "Logo.bmp"
#define EDGETAB_RES_DIR DRIVER_DIR "edgetab_res/"

// The tools' core log.
#define CORE_LOG_DIR "/usr/share/Slatrix/QMRV/"
#define CORE_LOG_FILE CORE_LOG_DIR ".core.slx"

// Single-instance lock files.
#define QUILLD_LOCK "/tmp/Quilld.mux"
#define ZURAZE_LOCK "/tmp/Zuraze.mux"
#define EDGETAB_LOCK "/tmp/Edgetab.mux"

// The board.
#define BOARD_DEVICE "/dev/ttyUSB0"

// Whiteboard application's command port.
#define WHITEBOARD_HOST "127.0.0.1"
#define WHITEBOARD_PORT 10000

// Process-id registry: section "PID", one key per program, which is also the
// program's name as /proc/<pid>/comm shows it.
#define SEC_PID "PID"
#define KEY_QUILLD "Quilld"
#define KEY_ZURAZE "Zuraze"
#define KEY_EDGETAB "Edgetab"

// Calibration.
#define SEC_COORDINATE "coordinate"
#define KEY_DOTNUM "dotNum"
#define KEY_DOTX "dotX"
#define KEY_DOTY "dotY"

// The monitor a calibration was made on, when the screen had several; the
// other readers of the file pass over the section.
#define SEC_MONITOR "Monitor"
#define KEY_MONITOR_NAME "name"

// Edge keys of the touch line, of the electromagnetic line, and the compact
// build's per-key sections ("HOTKEY" followed by the key index).
#define SEC_HOTKEY "HOTKEY"
#define KEY_KEYX "keyX"
#define KEY_KEYY "keyY"
#define SEC_QMEDGETAB "QMEdgetab"
#define KEY_QMKEYX "QMkeyX"
#define KEY_QMKEYY "QMkeyY"

// The tools' message domain for gettext.
#define MESSAGE_DOMAIN "QMRV"
#define LOCALE_DIR "/usr/share/locale"
#define MESSAGE_CODESET "UTF-8"

// Message catalogue sections.
#define SEC_ORIENT_WINDOW "Orient_Window"
#define SEC_EDGETAB_MSG "Edgetab_Msg"
#define SEC_QUILLD_MSG "Quilld_Msg"

// Message catalogue keys. The lookup finds the first occurrence anywhere in
// the message file, so no key may appear inside another key or any text.
#define MSG_O_TITLE "O_TITLE"
#define MSG_O_CHIS "O_CHIS"
#define MSG_O_FOUR "O_FOUR"
#define MSG_O_NIGHT "O_NIGHT"
#define MSG_O_TWOTY "O_TWOTY"
#define MSG_O_ORIMSG "O_ORIMSG"
#define MSG_O_AGAIN "O_AGAIN"
#define MSG_A_MESG1 "A_MESG1"
#define MSG_A_MESG2 "A_MESG2"
#define MSG_F_NOSAVE "F_NOSAVE"  // both tools: their result could not be stored
#define MSG_A_CPM "A_CPM"
#define MSG_A_ADD "A_ADD"
#define MSG_A_TEL "A_TEL"
#define MSG_A_FAX "A_FAX"
#define MSG_A_WEB "A_WEB"
#define MSG_S_START "S_START"
#define MSG_S_NOT_OPEN "S_NOT_OPEN"
#define MSG_S_FILE "S_FILE"
#define MSG_S_HASN_HOT "S_HASN_HOT"
#define MSG_S_SETING "S_SETING"
#define MSG_B_WA "B_Wa"
#define MSG_B_AL_STAR "B_AL_STAR"
