# Coarse picture comparisons for the shell tests, with ffmpeg. Sourced.

# The mean colours of a picture in a grid of COLS by ROWS cells, one "r g b"
# line per cell, row by row.
cell_means() { # picture, cols, rows
  ffmpeg -v error -i "$1" -vf "scale=$2:$3:flags=area" -f rawvideo -pix_fmt rgb24 - |
    od -An -v -tu1 -w3
}

# The number of cells of two pictures whose means differ by more than LIMIT on
# some channel, in a COLS by ROWS grid.
cells_apart() { # first, second, cols, rows, limit
  paste <(cell_means "$1" "$3" "$4") <(cell_means "$2" "$3" "$4") | awk -v limit="$5" '
    function abs(x) { return x < 0 ? -x : x }
    { d = abs($1 - $4); if (abs($2 - $5) > d) d = abs($2 - $5); if (abs($3 - $6) > d) d = abs($3 - $6)
      if (d > limit) apart++; if (d > worst) worst = d; cells++ }
    END { print (cells == 0 ? "none" : apart + 0) " " worst + 0 }'
}

# Where the picture lies on a WxH screen: "w h x y". The side that limits the
# scale spans the screen; the other is truncated and centred.
fitted_rect() { # W, H
  awk -v W="$1" -v H="$2" 'BEGIN {
    if (W * 1080 <= H * 1920) { w = W; h = int(1080 * W / 1920) } else { h = H; w = int(1920 * H / 1080) }
    print w, h, int((W - w) / 2), int((H - h) / 2) }'
}

# The still as the screen should show it: scaled to the fitted rectangle of a
# WxH screen, black around it.
still_on_screen() { # still, W, H, output
  local w h x y
  read -r w h x y < <(fitted_rect "$2" "$3")
  ffmpeg -v error -y -i "$1" -vf "scale=$w:$h:flags=area,pad=$2:$3:$x:$y:black" "$4"
}
