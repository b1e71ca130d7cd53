// GTK 3 front-end: the application icon, drawn rather than shipped as a file:
// a blue rounded square with a white arrow pointing down onto a bar.
#include <cmath>

#include "app/frontend/gtk_parts.h"

GdkPixbuf* CreateAppIcon(int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, size / 48.0, size / 48.0);

  // Rounded square.
  const double r = 8;
  cairo_new_sub_path(cr);
  cairo_arc(cr, 48 - r - 2, r + 2, r, -M_PI / 2, 0);
  cairo_arc(cr, 48 - r - 2, 48 - r - 2, r, 0, M_PI / 2);
  cairo_arc(cr, r + 2, 48 - r - 2, r, M_PI / 2, M_PI);
  cairo_arc(cr, r + 2, r + 2, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.11, 0.38, 0.75);
  cairo_fill(cr);

  // Arrow: shaft and head.
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 20, 9, 8, 14);
  cairo_fill(cr);
  cairo_move_to(cr, 12, 22);
  cairo_line_to(cr, 36, 22);
  cairo_line_to(cr, 24, 34);
  cairo_close_path(cr);
  cairo_fill(cr);
  // The bar it lands on.
  cairo_rectangle(cr, 11, 37, 26, 4);
  cairo_fill(cr);

  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}
