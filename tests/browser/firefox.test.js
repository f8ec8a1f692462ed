// web/adb.html's main path in Debian's Firefox ESR against the real bridge
// with tool doubles: finding the bridge, the phone report, and a confirmed
// flash whose bytes reach fastboot exactly. The page needs nothing that only
// Chromium has; this keeps it so. (Firefox fires the upload's load event only
// when the reply arrives, so the upload's stages are not checked here.)
"use strict";

const { test, before, after, beforeEach, afterEach } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const h = require("./harness");
const { launchFirefox, waitForText } = require("./firefox-support");

const { ADB_SERIAL, FB_SERIAL, adbList, adbNoPhone, fastbootNoPhone, fastbootWithPhone: withPhone } = require("./phones");

const adbWithPhone = [
  ...adbList(`${ADB_SERIAL}\\tdevice\\n`),
  "match getprop",
  "file pixel-8-pro-husky-getprop.txt",
  "match",
  "",
].join("\n");
const fastbootWithPhone = withPhone();

let bridge;
let web;
let firefox;
let page;
let bridgeRequests;
let imageDir;

before(async () => {
  bridge = new h.Bridge();
  bridge.addTool("adb", adbWithPhone);
  bridge.addTool("fastboot", fastbootNoPhone);
  for (const f of ["pixel-8-pro-husky-getprop.txt", "fastboot-pixel-7-pro-cheetah-getvar.txt", "flash-ok-nothing-phone-3a.txt"]) {
    bridge.addFixture(f);
  }
  await bridge.start();
  web = await h.serveWeb(8080);
  firefox = await launchFirefox();
  page = await firefox.browser.newPage();
  page.setDefaultTimeout(60000);
  bridgeRequests = h.trackBridgeRequests(page);
  await page.goto(h.ALLOWED_ORIGIN + "/adb.html");
  imageDir = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-firefox-image-"));
});

after(async () => {
  if (firefox) await firefox.close();
  await h.closeServer(web);
  if (bridge) await bridge.dispose();
  if (imageDir) fs.rmSync(imageDir, { recursive: true, force: true });
});

// Each test starts with no tool run recorded and leaves no action running.
beforeEach(() => {
  if (bridge) bridge.clearToolCalls();
});

afterEach(async () => {
  if (page) await h.settle(page, bridge, bridgeRequests);
});

// Sets the tools' scripts and reloads the phone list the way a user does.
async function usePhones(adb, fastboot) {
  bridge.setScript("adb", adb);
  bridge.setScript("fastboot", fastboot);
  await page.click("#refresh-phones");
  await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled, { polling: 100 });
}

// Waits for the verdict in a result region once no work runs.
async function verdict(selector) {
  await page.waitForFunction(
    (s) => document.querySelector(s).matches(".ok, .bad") && document.querySelector("#activity").hidden,
    { polling: 100 },
    selector,
  );
  return page.$eval(selector, (el) => ({ ok: el.classList.contains("ok"), text: el.textContent }));
}

test("Firefox: the page finds the bridge and lists its phone", async () => {
  const status = await waitForText(page, "#bridge-status", "Bridge mil gaya");
  assert.ok(status.includes(`127.0.0.1:${bridge.port}`), status);
  assert.match(status, /version 1\.0\.0/);
  await page.waitForSelector("#read-phone:enabled");
  const badge = await page.$eval("[data-phone-badge]", (b) => b.textContent);
  assert.match(badge, new RegExp(`${ADB_SERIAL} · ADB`));
});

test("Firefox: the ADB report shows the bridge's rows", async () => {
  await usePhones(adbWithPhone, fastbootNoPhone);
  await page.click("#read-phone");
  const r = await verdict("#report-result");
  assert.equal(r.ok, true, r.text);
  assert.match(r.text, /Mode: ADB/);
  const body = JSON.parse((await h.bridgeGet(bridge.port, `/info?serial=${ADB_SERIAL}`, false)).body);
  const rows = await page.$$eval(".report-table tr", (trs) => trs.map((tr) => [tr.cells[0].textContent, tr.cells[1].textContent]));
  assert.equal(rows.length, body.fields.length);
  const shown = new Map(rows);
  assert.equal(shown.get("Model"), "Pixel 8 Pro");
  for (const [label, value] of body.fields) {
    if (label.startsWith("Storage") || label.startsWith("ro.")) continue;
    assert.equal(shown.get(label), value, label);
  }
});

test("Firefox: a confirmed flash sends fastboot exactly the chosen file", async () => {
  // An odd size over several of the bridge's 1 MiB receive chunks.
  const image = h.makeImage(5 * 1024 * 1024 + 20).subarray(0, 5 * 1024 * 1024 + 17);
  image.write("ANDROID!", 0, "latin1");
  const file = path.join(imageDir, "boot.img");
  fs.writeFileSync(file, image);

  await usePhones(adbNoPhone, fastbootWithPhone);
  bridge.clearToolCalls("fastboot");
  await page.select("#image-partition", "boot");
  const input = await page.$("#image-file");
  await input.uploadFile(file);
  await page.click("#flash-image");
  await page.waitForSelector("#confirm[open]");
  const asked = await page.$eval("#confirm", (d) => d.textContent);
  for (const part of ["boot", "boot.img", FB_SERIAL]) assert.ok(asked.includes(part), asked);
  await page.click("#confirm-yes");

  const r = await verdict("#image-result");
  assert.equal(r.ok, true, r.text);
  assert.match(r.text, /✓ Kamyab: Flash \(boot\)/);
  const flashes = bridge.toolCalls("fastboot").filter((c) => / flash /.test(" " + c));
  assert.equal(flashes.length, 1, flashes.join("\n"));
  assert.match(flashes[0], new RegExp(`-s ${FB_SERIAL} flash boot `));
  assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
});
