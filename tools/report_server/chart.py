"""Stacked bar charts as inline SVG: the overview page draws its own
pictures, with no script and nothing fetched from elsewhere."""
import html

COLOURS = ["#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f", "#edc948", "#b07aa1", "#ff9da7", "#9c755f"]
WIDTH = 760
HEIGHT = 260
LEFT = 48
BOTTOM = 44
TOP = 16
LEGEND = 120


def colour(index):
    return COLOURS[index % len(COLOURS)]


def stacked_bars(columns, series):
    """An SVG chart: one bar per column label, stacked from series, a list of
    (name, values per column); a legend names the series."""
    totals = [sum(values[i] for _, values in series) for i in range(len(columns))]
    peak = max(totals, default=0) or 1
    plot_width = WIDTH - LEFT - LEGEND
    plot_height = HEIGHT - TOP - BOTTOM
    step = plot_width / max(len(columns), 1)
    bar = min(max(step * 0.7, 1), 28)
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" role="img" font-family="sans-serif"'
           ' font-size="10">' % (WIDTH, HEIGHT),
           '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#888"/>' % (LEFT, TOP + plot_height, LEFT + plot_width,
                                                                       TOP + plot_height),
           '<text x="%d" y="%d" text-anchor="end">%d</text>' % (LEFT - 4, TOP + 8, peak),
           '<text x="%d" y="%d" text-anchor="end">0</text>' % (LEFT - 4, TOP + plot_height)]
    for i, label in enumerate(columns):
        x = LEFT + i * step + (step - bar) / 2
        base = TOP + plot_height
        for index, (name, values) in enumerate(series):
            height = values[i] * plot_height / peak
            if height:
                base -= height
                out.append('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"><title>%s: %s, %d</title>'
                           '</rect>' % (x, base, bar, height, colour(index), html.escape(label), html.escape(name),
                                        values[i]))
        out.append('<text x="%.1f" y="%d" text-anchor="end" transform="rotate(-60 %.1f %d)">%s</text>' % (
            x + bar / 2, HEIGHT - BOTTOM + 12, x + bar / 2, HEIGHT - BOTTOM + 12, html.escape(label)))
    for index, (name, _) in enumerate(series):
        y = TOP + index * 14
        out.append('<rect x="%d" y="%d" width="10" height="10" fill="%s"/><text x="%d" y="%d">%s</text>' % (
            WIDTH - LEGEND + 10, y, colour(index), WIDTH - LEGEND + 24, y + 9, html.escape(name)))
    out.append("</svg>")
    return "".join(out)
