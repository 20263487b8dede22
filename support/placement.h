// Where a window goes when it is centred on the mouse cursor inside a work
// area: the arithmetic alone, so it is tested without a display.
#pragma once

struct PlacePoint {
    int x, y;
};

struct PlaceRect {
    int left, top, right, bottom; // right and bottom exclusive
};

// The top-left corner for a window of width x height centred on the cursor
// (halves truncated toward zero), then clamped into the work area: right and
// bottom edges first, left and top last, so a window larger than the work
// area is aligned to its left and top edges.
PlacePoint placeCentredInArea(PlacePoint cursor, int width, int height, PlaceRect workArea);
