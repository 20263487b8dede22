#include "support/placement.h"

PlacePoint placeCentredInArea(PlacePoint cursor, int width, int height, PlaceRect area) {
    PlacePoint p{cursor.x - width / 2, cursor.y - height / 2};
    if (p.x + width > area.right)
        p.x = area.right - width;
    if (p.x < area.left)
        p.x = area.left;
    if (p.y + height > area.bottom)
        p.y = area.bottom - height;
    if (p.y < area.top)
        p.y = area.top;
    return p;
}
