#!/bin/sh
# Checks what a user of the product sees and hears on real runtimes: the 64-bit Windows
# build (or with "x86" the product's own 32-bit build, under 32-bit Wine) under Wine in a
# virtual X server at 1024 x 768 (Mesa's software renderer behind Wine's Direct3D 9), read
# back from screenshots of the root window and from what the saver (corvane.scr) plays
# into an ALSA "file" device, and, with x64, the Linux build's sound through SDL's "disk"
# driver. One line per check; any failure makes the exit status 1.
#   dialog    the settings dialog (/c) and its About box: no control overlaps another (a
#             group box holds the controls of its group) and none leaves its dialog;
#   loading   the loading screen: no line along the inner edges of its corner images
#             (a wrapped edge shows as one at y = 640, x = 0 to 115);
#   scene     the scene after loading, judged by what every first flight shows at dawn
#             wherever its camera is: not one colour, warm sand over much of the frame, the
#             fine detail of its ripples, and not the loading picture;
#   fps,clock the frame rate (top left) and the clock (bottom right): glyph shapes, both
#             text-coloured and scene pixels in the text's box and rows or columns that
#             cross a stroke more than once, never a solid box;
#   music     under Wine and on Linux: silent at first, sound within 2 s of the scene (of
#             the output's opening on Linux, where nothing is shown), and louder 5 s after
#             it starts than 1.5 s after (the volume's ramp);
#   nod3dx    without the D3DX library (a Windows without the DirectX end-user runtime):
#             /c still shows the settings dialog, and /s shows the DirectX dialog, logs
#             the missing library (to "log") and, the dialog closed, ends by itself with
#             status 0.
# The user's settings are written with `wine reg add` into the build's own prefix and
# removed afterwards. Screenshots, rectangles and captures stay in build/product-check/
# (build/product-check-x86/ for x86). Needs the release build and the Windows build
# checked; tools/setup-debian.sh installs the rest.
#   usage: tools/check-product.sh [x64|x86]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" != "--inside-display" ]; then
  if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "FAIL product check: xvfb-run is missing (tools/setup-debian.sh installs it)"
    exit 1
  fi
  exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inside-display "$@"
fi
shift
ARCH=${1:-x64}
case "$ARCH" in
  x64) WINDOWS_BUILD=windows-x64 OUT=$ROOT/build/product-check ;;
  x86) WINDOWS_BUILD=windows-x86 OUT=$ROOT/build/product-check-x86 ;;
  *) echo "usage: tools/check-product.sh [x64|x86]"; exit 2 ;;
esac
for tool in xwd convert python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL product check: $tool is missing (tools/setup-debian.sh installs it)"
    exit 1
  fi
done
for built in build/$WINDOWS_BUILD/corvane.scr build/$WINDOWS_BUILD/tools/dialogrects.exe build/release/corvane \
  build/$WINDOWS_BUILD/generated/images/loading.jpg; do
  if [ ! -e "$ROOT/$built" ]; then
    echo "FAIL product check: $built is not built"
    exit 1
  fi
done
. "$ROOT/tools/wine-env.sh"
rm -rf "$OUT"
mkdir -p "$OUT"
WORK=$(mktemp -d)
KEY="HKCU\\$(sed -n 's/^RegPath *= *"\(.*\)".*/\1/p' "$ROOT/Media/Config/ScreenParams.txt" | tr -d '\r')"
ABOUT_ID=$(sed -n 's/^#define IDC_ABOUT \([0-9][0-9]*\).*/\1/p' "$ROOT/Screen/SettingsDialogControls.h")
CHECK="python3 $WORK/check.py"

cleanup() {
  "$WINE" reg delete "$KEY" /f >/dev/null 2>&1 || true
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

cat > "$WORK/check.py" <<'PYTHON'
"""The product check's measurements: screenshots, dialog rectangles and sound captures."""
import json
import math
import os
import struct
import subprocess
import sys
import time

W, H = 1024, 768
RATE = 44100  # 16-bit stereo frames per second in both captures


def rgb_of(path):
    """The picture's pixels as RGB bytes, rows from the top, at the screen's size."""
    data = subprocess.run(["convert", path, "-resize", "%dx%d!" % (W, H), "-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    return data


def pixel(data, x, y):
    i = (y * W + x) * 3
    return data[i], data[i + 1], data[i + 2]


class Xwd:
    """A root window dump of xwd, read directly: polling must be quick."""

    def __init__(self, data):
        f = struct.unpack(">25I", data[:100])
        self.data = data
        self.width, self.height = f[4], f[5]
        self.little = f[7] == 0
        self.bytes = f[11] // 8
        self.stride = f[12]
        self.masks = f[14:17]
        self.shifts = [(m & -m).bit_length() - 1 for m in self.masks]
        self.offset = f[0] + f[19] * 12

    def at(self, x, y):
        i = self.offset + y * self.stride + x * self.bytes
        v = int.from_bytes(self.data[i:i + self.bytes], "little" if self.little else "big")
        return tuple(((v & m) >> s) & 0xFF for m, s in zip(self.masks, self.shifts))


SAMPLES = [(x, y) for y in range(150, 620, 16) for x in range(150, 870, 24)]


def classify(frame, loading):
    """'loading' when the frame is the loading picture, 'black' before anything is drawn."""
    diff = bright = 0
    for x, y in SAMPLES:
        p, q = frame.at(x, y), pixel(loading, x, y)
        diff += sum(abs(a - b) for a, b in zip(p, q))
        bright += sum(p)
    diff /= 3.0 * len(SAMPLES)
    bright /= 3.0 * len(SAMPLES)
    if diff < 8:
        return "loading"
    return "black" if bright < 12 else "scene"


def watch(out, loading_path, capture, seconds):
    """Follows the saver from its start: saves the last loading frame, the scene 2.5 s in
    and three overlay frames, and the capture's size over time."""
    loading = rgb_of(loading_path)
    start = time.time()
    scene_at = None
    loading_frame = None
    wanted = {"scene": 2.5, "overlay-1": 3.5, "overlay-2": 5.5, "overlay-3": 7.5}
    sizes, states = [], []
    while time.time() - start < seconds:
        now = time.time() - start
        try:
            sizes.append((now, os.path.getsize(capture)))
        except OSError:
            sizes.append((now, 0))
        data = subprocess.run(["xwd", "-root", "-silent"], capture_output=True).stdout
        if len(data) < 100:
            time.sleep(0.1)
            continue
        frame = Xwd(data)
        state = classify(frame, loading)
        if not states or states[-1][1] != state:
            states.append((round(now, 2), state))
        if state == "loading" and scene_at is None:
            loading_frame = data
        if state == "scene" and scene_at is None:
            scene_at = now
        if scene_at is not None:
            for name, delay in list(wanted.items()):
                if now >= scene_at + delay:
                    with open(os.path.join(out, name + ".xwd"), "wb") as f:
                        f.write(data)
                    del wanted[name]
            if not wanted and now >= scene_at + 9.0:
                break
        time.sleep(0.05)
    if loading_frame:
        with open(os.path.join(out, "loading.xwd"), "wb") as f:
            f.write(loading_frame)
    json.dump({"scene_at": scene_at, "states": states, "sizes": sizes}, sys.stdout)


# ---- the verdicts ---------------------------------------------------------------------

failures = 0


def verdict(ok, name, text):
    global failures
    print("%s %-11s %s" % ("PASS" if ok else "FAIL", name, text))
    if not ok:
        failures += 1


def dialogs(path):
    """Every dialog listed by dialogrects, by caption: (client size, controls)."""
    found = {}
    current = None
    with open(path, encoding="latin-1") as f:
        for line in f:
            words = line.strip().split()
            if not words:
                continue
            if words[0] == "dialog" and len(words) >= 5 and words[-3] == "client":
                current = " ".join(words[1:-3])
                found[current] = ((int(words[-2]), int(words[-1])), [])
            elif words[0] == "control" and current is not None and len(words) == 9:
                _, cid, kind, style, l, t, r, b, box = words
                found[current][1].append((cid, kind, (int(l), int(t), int(r), int(b)), box == "1"))
    return found


def check_dialogs(path, wanted):
    found = dialogs(path)
    for caption in wanted:
        if caption not in found:
            verdict(False, "dialog", "the dialog \"%s\" was not read (%s)" % (caption, path))
            continue
        (cw, ch), controls = found[caption]
        problems = []

        def within(a, b):
            return a[0] >= b[0] and a[1] >= b[1] and a[2] <= b[2] and a[3] <= b[3]

        def name(c):
            return "%s %s (%d,%d)-(%d,%d)" % ((c[1], c[0]) + c[2])

        for i, a in enumerate(controls):
            if not within(a[2], (0, 0, cw, ch)):
                problems.append(name(a) + " leaves the %dx%d client area" % (cw, ch))
            for b in controls[i + 1:]:
                ra, rb = a[2], b[2]
                if ra[0] < rb[2] and rb[0] < ra[2] and ra[1] < rb[3] and rb[1] < ra[3]:
                    if not ((a[3] and within(rb, ra)) or (b[3] and within(ra, rb))):
                        problems.append(name(a) + " overlaps " + name(b))
        if len(controls) < 3:
            problems.append("only %d controls were listed" % len(controls))
        verdict(not problems, "dialog", "\"%s\": %d controls, %s" % (
            caption, len(controls), "none overlaps another" if not problems else "; ".join(problems)))


def check_loading(path):
    if not os.path.exists(path):
        verdict(False, "loading", "the loading screen was never seen")
        return
    d = rgb_of(path)

    def dev(a, b, c):
        return sum(abs(a[k] - (b[k] + c[k]) / 2.0) for k in range(3)) / 3.0

    # The corners are 128 x 128; each edge that faces the screen's middle, short of the
    # last pixels where the two edges meet.
    edges = {
        "bottom-left top edge": [("row", y, range(0, 116)) for y in range(636, 645)],
        "bottom-right top edge": [("row", y, range(908, 1024)) for y in range(636, 645)],
        "top-left bottom edge": [("row", y, range(0, 116)) for y in range(123, 132)],
        "top-right bottom edge": [("row", y, range(908, 1024)) for y in range(123, 132)],
        "top-left right edge": [("col", x, range(0, 116)) for x in range(123, 132)],
        "bottom-left right edge": [("col", x, range(652, 768)) for x in range(123, 132)],
        "top-right left edge": [("col", x, range(0, 116)) for x in range(892, 901)],
        "bottom-right left edge": [("col", x, range(652, 768)) for x in range(892, 901)],
    }
    worst = (0.0, 0.0, "", 0)
    for edge, lines in edges.items():
        for kind, at, span in lines:
            if kind == "row":
                devs = [dev(pixel(d, x, at), pixel(d, x, at - 1), pixel(d, x, at + 1)) for x in span]
            else:
                devs = [dev(pixel(d, at, y), pixel(d, at - 1, y), pixel(d, at + 1, y)) for y in span]
            mean = sum(devs) / len(devs)
            if mean > worst[0]:
                worst = (mean, max(devs), "%s (%s %d)" % (edge, "y" if kind == "row" else "x", at), at)
    ok = worst[0] <= 3.0 and worst[1] <= 20.0
    verdict(ok, "loading", ("no line along the corner images' edges" if ok else "a line along the " + worst[2]) +
            ": the most a row or column differs from its neighbours is %.1f on average, %.1f at most (%s)" % (
                worst[0], worst[1], path))


def check_scene(path, loading_path):
    """The first flight is drawn at random, and the camera moves: some flights look across
    the sand with the dawn sky in the top rows, some down at it with no sky at all. What
    every one shows is lit sand: warm (red over green over blue, red well above blue) over
    much of the frame, and rippled, so neighbouring pixels differ between the text overlays.
    A black frame, a clear colour, a frame without its textures or with its colour channels
    swapped fails one of them, and the loading picture the last."""
    if not os.path.exists(path):
        verdict(False, "scene", "no scene followed the loading screen")
        return
    d = rgb_of(path)
    lum = [sum(pixel(d, x, y)) / 3.0 for y in range(0, H, 4) for x in range(0, W, 4)]
    m = sum(lum) / len(lum)
    spread = math.sqrt(sum((v - m) ** 2 for v in lum) / len(lum))
    warm = [p[0] >= p[1] >= p[2] and p[0] - p[2] >= 40
            for p in (pixel(d, x, y) for y in range(0, H, 4) for x in range(0, W, 4))]
    warm_share = 100.0 * sum(warm) / len(warm)

    def brightness(x, y):
        return sum(pixel(d, x, y)) / 3.0

    # Below the frame rate and above the clock: the mean step in brightness to the pixel two
    # to the right and two below.
    steps = [(abs(brightness(x, y) - brightness(x + 2, y)) + abs(brightness(x, y) - brightness(x, y + 2))) / 2
             for y in range(150, 690, 4) for x in range(0, W - 2, 4)]
    detail = sum(steps) / len(steps)
    loading = rgb_of(loading_path)
    unlike = sum(sum(abs(a - b) for a, b in zip(pixel(d, x, y), pixel(loading, x, y)))
                 for x, y in SAMPLES) / (3.0 * len(SAMPLES))
    ok = spread > 12 and warm_share > 30 and detail > 2 and unlike > 20
    verdict(ok, "scene", "brightness spread %.1f (over 12), %.0f%% warm (over 30%%), detail %.1f (over 2), "
            "%.0f from the loading picture (over 20) (%s)" % (spread, warm_share, detail, unlike, path))


def text_pixel(p):
    return min(p) >= 235 and max(p) - min(p) <= 24


def runs(values):
    count, inside = 0, False
    for v in values:
        if v and not inside:
            count += 1
        inside = v
    return count


def check_text(name, frames, region):
    """Of the frames, the one with the fewest text-coloured pixels in the region (the least
    likely to have the sun in it) is judged."""
    x0, y0, x1, y1 = region
    best = None
    for path in frames:
        if not os.path.exists(path):
            continue
        d = rgb_of(path)
        mask = [[text_pixel(pixel(d, x, y)) for x in range(x0, x1)] for y in range(y0, y1)]
        count = sum(map(sum, mask))
        if best is None or count < best[0]:
            best = (count, mask, path)
    if best is None:
        verdict(False, name, "no screenshot of the scene")
        return
    count, mask, path = best
    if count < 10:
        verdict(False, name, "nothing text-coloured in (%d,%d)-(%d,%d) (%s)" % (x0, y0, x1, y1, path))
        return
    ys = [y for y, row in enumerate(mask) if any(row)]
    xs = [x for x in range(x1 - x0) if any(row[x] for row in mask)]
    top, bottom, left, right = ys[0], ys[-1], xs[0], xs[-1]
    area = (bottom - top + 1) * (right - left + 1)
    fill = count / float(area)
    rows = max(runs(row[left:right + 1]) for row in mask[top:bottom + 1])
    cols = max(runs([row[x] for row in mask[top:bottom + 1]]) for x in range(left, right + 1))
    ok = fill < 0.8 and max(rows, cols) >= 2
    verdict(ok, name, "%s in (%d,%d)-(%d,%d), %dx%d: %.0f%% of it text-coloured (under 80%%), at most %d runs "
            "in a row and %d in a column (2 or more) (%s)" % (
                "glyphs" if ok else "a solid box", x0 + left, y0 + top, x0 + right, y0 + bottom,
                right - left + 1, bottom - top + 1, 100 * fill, rows, cols, path))


def levels(path):
    """The capture's level (RMS of both sides) per 10 ms of output."""
    with open(path, "rb") as f:
        data = f.read()
    step = RATE // 100
    out = []
    for i in range(0, len(data) // 4 - step + 1, step):
        chunk = struct.unpack("<%dh" % (2 * step), data[i * 4:(i + step) * 4])
        out.append(math.sqrt(sum(v * v for v in chunk) / len(chunk)))
    return out


def stream_at(sizes, t):
    """The capture's position, in frames, at wall time t, from its sizes over time."""
    for (ta, sa), (tb, sb) in zip(sizes, sizes[1:]):
        if ta <= t <= tb:
            return (sa + (sb - sa) * (t - ta) / (tb - ta if tb > ta else 1)) / 4.0
    return None


def wall_at(sizes, frame):
    """The wall time at which the capture reached that frame."""
    for (ta, sa), (tb, sb) in zip(sizes, sizes[1:]):
        if sa / 4.0 <= frame <= sb / 4.0 and sb > sa:
            return ta + (tb - ta) * (frame - sa / 4.0) / ((sb - sa) / 4.0)
    return None


def check_music(name, capture, timeline, since):
    if not os.path.exists(capture) or os.path.getsize(capture) < 4 * RATE:
        verdict(False, name, "less than a second of output was captured (%s)" % capture)
        return
    with open(timeline) as f:
        sizes = json.load(f)["sizes"]
    level = levels(capture)
    loudest = max(level)
    if loudest < 30:
        verdict(False, name, "silence: the loudest 10 ms of %.1f s of output have a level of %.0f (%s)" % (
            len(level) / 100.0, loudest, capture))
        return
    onset = next(i for i, v in enumerate(level) if v > max(16.0, loudest * 0.01))
    onset_wall = wall_at(sizes, onset * RATE / 100.0)
    opened = next((t for t, s in sizes if s > 0), None)
    reference = since if since is not None else opened
    problems = []
    if onset == 0:
        problems.append("sound from the first 10 ms")
    if onset_wall is None or reference is None:
        problems.append("the sound's start cannot be placed in time")
    else:
        if onset_wall - reference > 2.0:
            problems.append("sound only %.1f s after the %s" % (onset_wall - reference,
                                                                 "scene" if since is not None else "output opened"))

    def level_over(t0, t1):
        a, b = stream_at(sizes, t0), stream_at(sizes, t1)
        if a is None or b is None:
            return None
        part = level[int(a * 100 / RATE):int(b * 100 / RATE)]
        return math.sqrt(sum(v * v for v in part) / len(part)) if part else None

    early = late = None
    if onset_wall is not None:
        early = level_over(onset_wall + 1.0, onset_wall + 2.0)
        late = level_over(onset_wall + 4.5, onset_wall + 5.5)
        if early is None or late is None:
            problems.append("the output did not last 5.5 s past the sound's start")
        elif late < early * 1.3:
            problems.append("no louder 5 s in (%.0f) than 1.5 s in (%.0f)" % (late, early))
    text = "silent for %.2f s of output, sound %.1f s after the %s, level %s at 1.5 s and %s at 5 s" % (
        onset / 100.0, (onset_wall - reference) if onset_wall is not None and reference is not None else float("nan"),
        "scene" if since is not None else "output opened",
        "%.0f" % early if early else "-", "%.0f" % late if late else "-")
    verdict(not problems, name, (text if not problems else "; ".join(problems) + " (" + text + ")") +
            " (%s)" % capture)


def follow_output(capture, seconds, command):
    """Runs the command and notes the capture's size over time until it ends."""
    start = time.time()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    sizes = []
    while process.poll() is None and time.time() - start < seconds:
        try:
            sizes.append((time.time() - start, os.path.getsize(capture)))
        except OSError:
            sizes.append((time.time() - start, 0))
        time.sleep(0.05)
    if process.poll() is None:
        process.kill()
    err = process.communicate()[1].decode("latin-1").strip()
    if os.path.exists(capture):
        sizes.append((time.time() - start, os.path.getsize(capture)))
    json.dump({"sizes": sizes, "stderr": err}, sys.stdout)


def main():
    command = sys.argv[1]
    if command == "watch":
        watch(sys.argv[2], sys.argv[3], sys.argv[4], float(sys.argv[5]))
        return 0
    if command == "follow":
        follow_output(sys.argv[2], float(sys.argv[3]), sys.argv[4:])
        return 0
    if command == "dialogs":
        check_dialogs(sys.argv[2], sys.argv[3:])
    elif command == "pictures":
        out, loading_jpg = sys.argv[2], sys.argv[3]
        check_loading(os.path.join(out, "loading.png"))
        check_scene(os.path.join(out, "scene.png"), loading_jpg)
        overlays = [os.path.join(out, "overlay-%d.png" % i) for i in (1, 2, 3)]
        check_text("fps", overlays, (0, 0, 260, 140))
        check_text("clock", overlays, (W - 460, H - 140, W, H))
    elif command == "music":
        with open(sys.argv[3]) as f:
            since = json.load(f).get("scene_at") if sys.argv[4] == "scene" else None
        check_music(sys.argv[2], sys.argv[5], sys.argv[3], since)
    return 1 if failures else 0


sys.exit(main())
PYTHON

status=0
shoot() { xwd -root -silent | convert xwd:- "png:$OUT/$1.png"; }

# The user's settings: the frame rate and the 12-hour clock shown, the music on at volume
# 80, and the longest day, so that the light stays as it is at the start for the whole run.
"$WINE" reg delete "$KEY" /f >/dev/null 2>&1 || true
for setting in ShowFps=1 ShowTime=1 b24h=0 Music=1 Sound=1 Volume=80 DayLength=100 UseDesktop=1 ExitOnMM=0; do
  "$WINE" reg add "$KEY" /v "${setting%=*}" /t REG_DWORD /d "${setting#*=}" /f >/dev/null 2>&1 || {
    echo "FAIL product check: wine reg add $KEY /v ${setting%=*} failed"
    exit 1
  }
done

# ---- the settings dialog and its About box
cd "$BUILD"
"$WINE" ./corvane.scr /c >/dev/null 2>&1 &
RECTS=$OUT/dialog-rects.txt
if "$WINE" ./tools/dialogrects.exe "" --wait 60 2>"$WORK/dialogrects.err" | tr -d '\r' > "$RECTS" && [ -s "$RECTS" ]; then
  shoot dialog
  CAPTION=$(sed -n '1s/^dialog \(.*\) client [0-9]* [0-9]*$/\1/p' "$RECTS")
  if "$WINE" ./tools/dialogrects.exe "$CAPTION" --press "$ABOUT_ID" 2>>"$WORK/dialogrects.err" | tr -d '\r' \
    > "$WORK/about.txt"; then
    shoot about
    # The second dialog listed is the box the press opened.
    awk '/^dialog /{n++} n >= 2' "$WORK/about.txt" >> "$RECTS"
  fi
  "$WINE" ./tools/dialogrects.exe "$CAPTION" --close --wait 5 >/dev/null 2>&1 || true
  ABOUT=$(sed -n 's/^dialog \(.*\) client [0-9]* [0-9]*$/\1/p' "$RECTS" | sed -n 2p)
  $CHECK dialogs "$RECTS" "$CAPTION" "${ABOUT:-the About box}" || status=1
else
  echo "FAIL dialog       the settings dialog did not appear under /c: $(cat "$WORK/dialogrects.err")"
  status=1
fi
"$WINESERVER" -k >/dev/null 2>&1 || true
wait

# ---- the saver: loading screen, scene, overlays and music
CAPTURE=$AUDIO_HOME/capture.raw
rm -f "$CAPTURE"
"$WINE" ./corvane.scr /s >/dev/null 2>&1 &
$CHECK watch "$OUT" "$BUILD/generated/images/loading.jpg" "$CAPTURE" 75 > "$OUT/timeline-wine.json" || status=1
"$WINESERVER" -k >/dev/null 2>&1 || true
wait
for shot in loading scene overlay-1 overlay-2 overlay-3; do
  if [ -f "$OUT/$shot.xwd" ]; then
    convert "xwd:$OUT/$shot.xwd" "png:$OUT/$shot.png"
    rm -f "$OUT/$shot.xwd"
  fi
done
if [ -f "$CAPTURE" ]; then mv "$CAPTURE" "$OUT/music-wine.raw"; fi
$CHECK pictures "$OUT" "$BUILD/generated/images/loading.jpg" || status=1
$CHECK music wine-music "$OUT/timeline-wine.json" scene "$OUT/music-wine.raw" || status=1

# ---- without D3DX: the settings dialog as always; the saver's DirectX dialog, closed by
# its Cancel button, after which the saver must end by itself
NO_D3DX="$WINEDLLOVERRIDES;d3dx9_43="
NODX_TITLE=$(sed -n 's/^Mes_NODX_Title *= *"\(.*\)".*/\1/p' "$ROOT/Media/Config/Messages.txt" | tr -d '\r')
problems=""
WINEDLLOVERRIDES=$NO_D3DX "$WINE" ./corvane.scr /c >/dev/null 2>&1 &
if "$WINE" ./tools/dialogrects.exe "${CAPTION:-}" --wait 60 >/dev/null 2>&1; then
  shoot nod3dx-settings
  "$WINE" ./tools/dialogrects.exe "${CAPTION:-}" --close --wait 5 >/dev/null 2>&1 || true
else
  problems="$problems; /c showed no settings dialog"
fi
"$WINESERVER" -k >/dev/null 2>&1 || true
wait
rm -f log
WINEDLLOVERRIDES=$NO_D3DX "$WINE" ./corvane.scr /s >/dev/null 2>&1 &
saver=$!
if "$WINE" ./tools/dialogrects.exe "$NODX_TITLE" --wait 60 2>/dev/null | tr -d '\r' > "$OUT/nodx-rects.txt"; then
  shoot nod3dx-saver
  # Its text and both buttons inside the window, whatever size the dialog font has here.
  $CHECK dialogs "$OUT/nodx-rects.txt" "$NODX_TITLE" || problems="$problems; the DirectX dialog's controls do not fit"
  "$WINE" ./tools/dialogrects.exe "$NODX_TITLE" --close --wait 5 >/dev/null 2>&1 || true
else
  problems="$problems; /s showed no dialog \"$NODX_TITLE\""
fi
waited=0
while kill -0 "$saver" 2>/dev/null && [ "$waited" -lt 30 ]; do
  sleep 1
  waited=$((waited + 1))
done
if kill -0 "$saver" 2>/dev/null; then
  problems="$problems; /s still ran 30 s after its dialog closed"
  kill "$saver" 2>/dev/null || true
fi
ended=0
wait "$saver" || ended=$?
[ "$ended" -eq 0 ] || problems="$problems; /s ended with status $ended"
grep -q "d3dx9_43.dll is missing" log 2>/dev/null || problems="$problems; the loaders' log does not name d3dx9_43.dll"
"$WINESERVER" -k >/dev/null 2>&1 || true
wait
if [ -z "$problems" ]; then
  echo "PASS nod3dx      /c showed the settings dialog; /s showed \"$NODX_TITLE\", logged d3dx9_43.dll missing and ended with status 0"
else
  echo "FAIL nod3dx      ${problems#; }"
  status=1
fi

# ---- the Linux build's music, from an empty folder, with a registry of its own (once,
# with the x64 check: it is the same build)
if [ "$ARCH" = x64 ]; then
  mkdir -p "$WORK/linux"
  cd "$WORK/linux"
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$OUT/music-linux.raw" CORVANE_EXIT_AFTER_MS=9000 \
    CORVANE_REGISTRY_FILE="$WORK/linux-registry" \
    $CHECK follow "$OUT/music-linux.raw" 60 "$ROOT/build/release/corvane" /s > "$OUT/timeline-linux.json" || status=1
  $CHECK music linux-music "$OUT/timeline-linux.json" opened "$OUT/music-linux.raw" || status=1
  cd "$ROOT"
fi

if [ "$status" -ne 0 ]; then
  echo "the product check of $WINDOWS_BUILD failed; screenshots and captures are in ${OUT#"$ROOT"/}/"
  exit 1
fi
echo "the product check of $WINDOWS_BUILD passed; screenshots and captures are in ${OUT#"$ROOT"/}/"
