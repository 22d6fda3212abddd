#include "warning_window.h"

#include <gtk/gtk.h>

#include <cstdio>

#include "store/paths.h"
#include "tool/msg_file.h"

int run_warning_window(int argc, char** argv, ComposeBody compose_body) {
    // Started with its output going to a pipe or a journal: show each line at once.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    gtk_init(&argc, &argv);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    // A missing message file leaves the texts empty; the window still comes up.
    char title[WARNING_TEXT_SIZE] = {0};
    read_msg_utf8(SEC_QUILLD_MSG, MSG_B_WA, title, sizeof title);
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), 10);

    char body[WARNING_BODY_SIZE] = {0};
    compose_body(body, sizeof body);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);

    GtkWidget* message = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(message),
                       gtk_image_new_from_stock(GTK_STOCK_DIALOG_WARNING, GTK_ICON_SIZE_DIALOG),
                       FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(message), gtk_label_new(body), FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(vbox), message, FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(vbox), gtk_hseparator_new(), FALSE, FALSE, 5);

    GtkWidget* buttons = gtk_hbutton_box_new();
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_SPREAD);
    gtk_box_pack_start(GTK_BOX(vbox), buttons, FALSE, FALSE, 5);

    GtkWidget* ok = gtk_button_new_from_stock(GTK_STOCK_OK);
    g_signal_connect(ok, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect_swapped(ok, "clicked", G_CALLBACK(gtk_widget_destroy), window);
    gtk_box_pack_start(GTK_BOX(buttons), ok, FALSE, FALSE, 0);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
