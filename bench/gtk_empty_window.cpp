// The yardsticks for the window's start-up time: the least a GTK 3 program does to open a
// window of the same size (initialise GTK, create, show, run the main loop); built a
// second time with WITH_LABEL, the same window showing one line of text, which adds what
// any text costs (reading the font configuration, loading and shaping a font).
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char *argv[]) {
  if (argc > 1) {
    // Run by the benchmark runner with its options: this program is only timed, by
    // bench_gui_startup.
    std::printf("%s: timed by bench_gui_startup; nothing to do alone\n", argv[0]);
    return 0;
  }
  gtk_init(&argc, &argv);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Empty");
  gtk_window_set_default_size(GTK_WINDOW(window), 416, 371);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
#ifdef WITH_LABEL
  gtk_container_add(GTK_CONTAINER(window), gtk_label_new("Here is 3 different models prediction:"));
#endif
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
