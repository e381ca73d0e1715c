#include "platform/display/DeviceScreenPage.h"

namespace {

constexpr const char* kPage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Quorvane device screen</title>
<style>
  body { margin: 0; padding: 16px; background: #2b2b2e; color: #ddd; font: 13px sans-serif; }
  #device { position: relative; display: inline-block; padding: 12px; background: #111; border-radius: 18px; }
  #opened { position: absolute; left: 20px; right: 20px; bottom: 20px; padding: 8px 28px 8px 10px;
            background: rgba(250, 250, 250, 0.95); color: #222; border-radius: 8px;
            box-shadow: 0 2px 8px rgba(0, 0, 0, 0.5); overflow-wrap: anywhere; }
  #opened[hidden] { display: none; }
  #opened a { color: #0645ad; }
  #opened-close { position: absolute; top: 4px; right: 6px; border: 0; background: none; font-size: 16px;
                  cursor: pointer; color: #444; }
  #screen { display: block; width: 320px; height: 568px; background: #000; cursor: pointer;
            touch-action: none; user-select: none; -webkit-user-drag: none; }
  #bar { margin-top: 10px; display: flex; gap: 10px; align-items: center; }
  #status { opacity: 0.8; }
  #error { color: #f88; }
</style>
</head>
<body>
<div id="device"><img id="screen" alt="device screen" draggable="false"><div id="opened" hidden>Opened outside the application: <a id="opened-link" target="_blank" rel="noopener noreferrer"></a><button id="opened-close" title="Close">&times;</button></div></div>
<div id="bar">
  <select id="orientation" title="Rotate the device">
    <option value="portrait">Portrait</option>
    <option value="landscapeLeft">Landscape left</option>
    <option value="landscapeRight">Landscape right</option>
    <option value="portraitUpsideDown">Upside down</option>
  </select>
  <span id="status">connecting</span>
  <span id="error"></span>
</div>
<script>
"use strict";
const screenImage = document.getElementById("screen");
const statusText = document.getElementById("status");
const errorText = document.getElementById("error");
let frameNumber = 0, scale = 2, width = 320, height = 568, shownUrl = null;

const sleep = ms => new Promise(done => setTimeout(done, ms));

// Inputs go out one after the other, in the order they happened (a wheel turn
// being gathered goes out before whatever comes after it).
let queue = Promise.resolve();
function send(path, body) {
  flushWheel();
  post(path, body);
}
// The body, or a function giving it when its turn comes (a move sent late goes to the newest point).
function post(path, body) {
  queue = queue.then(async () => {
    try {
      const payload = typeof body === "function" ? body() : body;
      const reply = await fetch(path, { method: "POST", headers: { "Content-Type": "application/json" },
                                        body: JSON.stringify(payload) });
      const answer = await reply.json().catch(() => ({}));
      errorText.textContent = reply.ok ? "" : (answer.error || ("HTTP " + reply.status));
    } catch (e) {
      errorText.textContent = "the application does not answer";
    }
  });
}

async function readScreen() {
  try {
    const reply = await fetch("/api/screen", { cache: "no-store" });
    if (!reply.ok) return;
    const facts = await reply.json();
    scale = facts.scale; width = facts.width; height = facts.height;
    screenImage.style.width = width + "px";
    screenImage.style.height = height + "px";
    document.getElementById("orientation").value = facts.orientation;
    statusText.textContent = facts.device + ", " + width + " \u00d7 " + height + " points";
  } catch (e) {}
}

async function pollFrames() {
  for (;;) {
    try {
      const reply = await fetch("/frame.png?after=" + frameNumber, { cache: "no-store" });
      if (!reply.ok) { await sleep(500); continue; }
      const number = Number(reply.headers.get("X-Frame-Number"));
      const picture = await reply.blob();
      if (number !== frameNumber) {
        const url = URL.createObjectURL(picture);
        screenImage.onload = () => {
          screenImage.dataset.frame = String(number);  // the frame on show, for whoever looks at the page
          const w = screenImage.naturalWidth / scale, h = screenImage.naturalHeight / scale;
          if (w !== width || h !== height) readScreen();
        };
        screenImage.src = url;
        if (shownUrl) URL.revokeObjectURL(shownUrl);
        shownUrl = url;
        frameNumber = number;
      }
    } catch (e) {
      statusText.textContent = "disconnected";
      await sleep(1000);
      readScreen();
    }
  }
}

// Pointer: the finger goes down when the button does and lifts when it comes
// up, so the application sees the hold as long as it was; moves count once the
// pointer went more than 6 points from where it went down.
function pointOf(event) {
  return { x: Math.min(Math.max(event.offsetX, 0), width - 0.5), y: Math.min(Math.max(event.offsetY, 0), height - 0.5) };
}
let down = null, pendingMove = null, clicked = false;
function moveTo(point) {
  if (pendingMove) { pendingMove.x = point.x; pendingMove.y = point.y; return; }
  pendingMove = { phase: "move", x: point.x, y: point.y };
  send("/api/touch", () => { const move = pendingMove; pendingMove = null; return move; });
}
function lift(point) {
  const gesture = down;
  down = null;
  clicked = true;
  send("/api/touch", Object.assign({ phase: "up" }, gesture.moved ? point : gesture.start));
}
screenImage.addEventListener("pointerdown", event => {
  event.preventDefault();
  screenImage.setPointerCapture(event.pointerId);
  if (down) lift(down.start);
  down = { start: pointOf(event), moved: false };
  send("/api/touch", Object.assign({ phase: "down" }, down.start));
});
screenImage.addEventListener("pointermove", event => {
  if (!down) return;
  const p = pointOf(event);
  if (!down.moved && Math.hypot(p.x - down.start.x, p.y - down.start.y) > 6) down.moved = true;
  if (down.moved) moveTo(p);
});
screenImage.addEventListener("pointerup", event => {
  if (down) lift(pointOf(event));
});
screenImage.addEventListener("pointercancel", () => { if (down) lift(down.start); });
// Taps come from the pointer events above, never from the click that follows them.
screenImage.addEventListener("click", event => event.preventDefault());
screenImage.addEventListener("dragstart", event => event.preventDefault());

// The wheel: turns gathered for a moment, sent as one move of the content.
let wheel = null;
function flushWheel() {
  if (!wheel) return;
  const w = wheel;
  wheel = null;
  clearTimeout(w.timer);
  post("/api/scroll", { x: w.at.x, y: w.at.y, dx: -w.dx, dy: -w.dy, wheel: true });
}
screenImage.addEventListener("wheel", event => {
  event.preventDefault();
  const factor = event.deltaMode === 1 ? 16 : event.deltaMode === 2 ? height : 1;
  if (!wheel) wheel = { at: pointOf(event), dx: 0, dy: 0, timer: setTimeout(flushWheel, 60) };
  wheel.dx += event.deltaX * factor;
  wheel.dy += event.deltaY * factor;
}, { passive: false });

// Keys typed anywhere on the page go to the application.
document.addEventListener("keydown", event => {
  if (event.ctrlKey || event.metaKey || event.altKey || event.isComposing) return;
  if (event.target && event.target.tagName === "SELECT") return;
  if (event.key === "Enter") send("/api/key", { key: "Return" });
  else if (event.key === "Backspace") send("/api/key", { key: "Backspace" });
  else if ([...event.key].length === 1) send("/api/type", { text: event.key });
  else return;
  event.preventDefault();
});

document.getElementById("orientation").addEventListener("change", event => {
  send("/api/rotate", { orientation: event.target.value });
  queue = queue.then(readScreen);
});

// What the application opened outside itself: a notice over the screen with
// the address, and, when the person's own click on the screen led to it, the
// address in a new tab of this browser (as a phone hands it to its browser):
// the first address opened after a click, one tab a click. The browser opens
// it while it still counts the click as the person's (a few seconds); later,
// the notice's link is there to follow.
const openedNotice = document.getElementById("opened"), openedLink = document.getElementById("opened-link");
document.getElementById("opened-close").addEventListener("click", () => { openedNotice.hidden = true; });
function showOpened(url) {
  openedLink.textContent = url;
  if (/^https?:/i.test(url)) openedLink.href = url; else openedLink.removeAttribute("href");
  openedNotice.hidden = false;
  if (clicked && openedLink.href) {
    clicked = false;
    window.open(url, "_blank", "noopener");
  }
}
async function pollOpened() {
  let last = null;
  for (;;) {
    try {
      const reply = await fetch(last === null ? "/api/opened" : "/api/opened?after=" + last, { cache: "no-store" });
      if (!reply.ok) { await sleep(1000); continue; }
      const answer = await reply.json();
      if (last !== null) for (const entry of answer.opened) showOpened(entry.url);
      last = answer.last;
    } catch (e) {
      await sleep(1000);
    }
  }
}

readScreen().then(pollFrames);
pollOpened();
</script>
</body>
</html>
)PAGE";

}  // namespace

const std::string& DeviceScreenPageHtml() {
    static const std::string page = kPage;
    return page;
}

const char* DeviceScreenPageContentSecurityPolicy() {
    return "default-src 'none'; img-src 'self' blob:; connect-src 'self'; script-src 'unsafe-inline'; "
           "style-src 'unsafe-inline'";
}
