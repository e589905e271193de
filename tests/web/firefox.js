// Firefox ESR for the page test, through puppeteer-core over WebDriver BiDi. It reads one JSON
// command a line on standard input and answers each with a JSON line:
//   {"size": [w, h]}               the viewport
//   {"get": url}                   a page, once it has loaded
//   {"script": body}               a function body run in the page: its return value
//   {"mouse": [[x, y], ...]}       a press at the first point, motions through the rest, the release
//   {"hover": [[x, y], ...]}       motions with no button held
//   {"keys": ["Tab", "Shift+ArrowLeft", ...]}  presses of keys, each with any held with it
//   {"choose": [selector, path]}   a file for a file input
//   node tests/web/firefox.js FIREFOX
"use strict";
const puppeteer = require("puppeteer-core");
const readline = require("readline");

async function drag(page, device, path) {
  const [first, ...rest] = path;
  await page.mouse.move(first[0], first[1]);
  if (device === "mouse") await page.mouse.down();
  for (const [x, y] of rest) await page.mouse.move(x, y);
  if (device === "mouse") await page.mouse.up();
}

async function press(page, keys) {
  for (const chord of keys) {
    const held = chord.length > 1 ? chord.split("+") : [chord];
    for (const key of held) await page.keyboard.down(key);
    for (const key of held.reverse()) await page.keyboard.up(key);
  }
}

async function answer(page, command) {
  if (command.keys) await press(page, command.keys);
  if (command.choose) await (await page.$(command.choose[0])).uploadFile(command.choose[1]);
  if (command.size) await page.setViewport({ width: command.size[0], height: command.size[1] });
  if (command.get) await page.goto(command.get, { waitUntil: "load" });
  if (command.script) return await page.evaluate("(() => {" + command.script + "})()");
  for (const device of ["mouse", "hover"])
    if (command[device]) await drag(page, device, command[device]);
  return null;
}

async function main() {
  const browser = await puppeteer.launch({
    browser: "firefox", protocol: "webDriverBiDi", executablePath: process.argv[2],
    headless: true,
  });
  const page = await browser.newPage();
  page.on("console", (message) => process.stderr.write("console: " + message.text() + "\n"));
  for await (const line of readline.createInterface({ input: process.stdin })) {
    try {
      console.log(JSON.stringify({ value: await answer(page, JSON.parse(line)) }));
    } catch (error) {
      console.log(JSON.stringify({ error: String(error) }));
    }
  }
  await browser.close();
}

main().catch((error) => {
  console.log(JSON.stringify({ error: String(error) }));
  process.exit(1);
});
