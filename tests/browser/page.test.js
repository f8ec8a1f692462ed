// web/adb.html in headless Chromium against the real bridge with tool
// doubles: discovery, reports, upload, refusals, wireless pairing, reboot,
// and the page opened from an address the bridge does not serve.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const h = require("./harness");

const ADB_SERIAL = "RZ8W10ABCDE";
const NO_PHONE =
  "Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode mein layein. Cable theek hai?";
const IDENTITY_REFUSAL = "Ye identity partition (IMEI/EFS/NV/FRP) hai - ispar flash BLOCK hai (legal).";
const WRONG_CODE = "Failed: Wrong password or connection was dropped.";

const adbWithPhone = [
  "match devices",
  `say List of devices attached\\n${ADB_SERIAL}\\tdevice\\n\\n`,
  "match getprop",
  "file pixel-8-pro-husky-getprop.txt",
  "match pair",
  `say ${WRONG_CODE}\\n`,
  "match",
  "",
].join("\n");
const adbNoPhone = ["match devices", "say List of devices attached\\n\\n", "match", ""].join("\n");
const fastbootNoPhone = ["match", ""].join("\n");
const fastbootWithPhone = [
  "match devices",
  "say 28191FDH300AZK\\tfastboot\\n",
  "match getvar",
  "file fastboot-pixel-7-pro-cheetah-getvar.txt",
  "match flash",
  "save 3 flashed.img",
  "file flash-ok-nothing-phone-3a.txt",
  "match",
  "",
].join("\n");

let bridge;
let blocker;
let web;
let refusedWeb;
let browser;
let page;
const ready = {};

before(async () => {
  blocker = await h.occupyPort(h.DEFAULT_PORT);
  bridge = new h.Bridge();
  bridge.addTool("adb", adbNoPhone);
  bridge.addTool("fastboot", fastbootNoPhone);
  for (const f of ["pixel-8-pro-husky-getprop.txt", "fastboot-pixel-7-pro-cheetah-getvar.txt", "flash-ok-nothing-phone-3a.txt"]) {
    bridge.addFixture(f);
  }
  await bridge.start();
  for (const route of ["info", "flash", "wifi", "reboot"]) ready[route] = await h.routeReady(bridge.port, route);
  web = await h.serveWeb(8080);
  refusedWeb = await h.serveWeb(8081);
  browser = await h.launchBrowser();
  page = await browser.context.newPage();
  await page.goto(h.ALLOWED_ORIGIN + "/adb.html");
  await h.waitForText(page, "#bridge-status", "Bridge found");
});

after(async () => {
  if (browser) await browser.close();
  await h.closeServer(web);
  await h.closeServer(refusedWeb);
  await h.closeServer(blocker);
  if (bridge) await bridge.dispose();
});

function skipUnless(t, route) {
  if (!ready[route]) t.skip(`the bridge has no ${route} route yet`);
  return !ready[route];
}

// The bridge's own reply, for comparing the page's table with it.
async function infoBody() {
  return JSON.parse((await h.bridgeGet(bridge.port, "/info", false)).body);
}

async function tableRows() {
  return page.$$eval("#report-rows tr", (trs) => trs.map((tr) => [tr.cells[0].textContent, tr.cells[1].textContent]));
}

async function readReport() {
  await page.click("#read-phone");
  await page.waitForFunction(() => !document.querySelector("#read-phone").disabled);
}

test("discovery: the page finds the bridge on its port, past another listener on 9765", async () => {
  const status = await h.waitForText(page, "#bridge-status", "Bridge found");
  assert.ok(status.includes(`127.0.0.1:${bridge.port}`), status);
  if (blocker) assert.notEqual(bridge.port, h.DEFAULT_PORT);
  assert.match(status, /version 1\.0\.0/);
  assert.match(status, /adb: found/);
  assert.match(status, /fastboot: found/);
  assert.equal(await page.isDisabled("#read-phone"), false);
});

test("report: ADB, Fastboot and no phone, shown as the bridge sends them", async (t) => {
  if (skipUnless(t, "info")) return;

  await t.test("an ADB report: mode and every row in the bridge's order", async () => {
    bridge.setScript("adb", adbWithPhone);
    bridge.setScript("fastboot", fastbootNoPhone);
    await readReport();
    assert.equal(await page.textContent("#report-mode"), "Mode: ADB");
    const rows = await tableRows();
    const body = await infoBody();
    assert.equal(body.mode, "ADB");
    assert.deepEqual(rows, body.fields);
    assert.ok(rows.some(([, v]) => v.includes("Pixel 8 Pro")), JSON.stringify(rows));
    fs.mkdirSync(h.outputDir, { recursive: true });
    await page.locator("#report").screenshot({ path: path.join(h.outputDir, "report-view.png") });
  });

  await t.test("a Fastboot report replaces the ADB one", async () => {
    bridge.setScript("adb", adbNoPhone);
    bridge.setScript("fastboot", fastbootWithPhone);
    await readReport();
    assert.equal(await page.textContent("#report-mode"), "Mode: Fastboot");
    const rows = await tableRows();
    assert.deepEqual(rows, (await infoBody()).fields);
    assert.ok(rows.some(([, v]) => v.includes("28191FDH300AZK")), JSON.stringify(rows));
  });

  await t.test("no phone: the bridge's text and no table", async () => {
    bridge.setScript("adb", adbNoPhone);
    bridge.setScript("fastboot", fastbootNoPhone);
    await readReport();
    assert.equal(await page.textContent("#report-status"), NO_PHONE);
    assert.equal(await page.isHidden("#report-table"), true);
    assert.equal(await page.textContent("#report-mode"), "");
  });
});

test("image upload: 5 MB to a partition with progress and verdict, and the identity refusal", async (t) => {
  if (skipUnless(t, "flash")) return;
  const image = h.makeImage(5 * 1024 * 1024);

  await t.test("flash: the progress bar reaches 100 % and the verdict and log show", async () => {
    bridge.setScript("fastboot", fastbootWithPhone);
    bridge.clearToolCalls("fastboot");
    await page.fill("#image-partition", "boot_a");
    await page.setInputFiles("#image-file", { name: "boot.img", mimeType: "application/octet-stream", buffer: image });
    await page.click("#flash-image");
    const verdict = await h.waitForText(page, "#image-result", /: (OK|FAILED)$|failure|nahi/);
    assert.equal(verdict, "Flash of boot_a: OK");
    assert.equal(await page.$eval("#upload-progress", (p) => p.value), 100);
    assert.equal(await page.textContent("#upload-percent"), "100 %");
    assert.match(await page.textContent("#image-log"), /Finished\. Total time/);
    assert.ok(bridge.toolCalls("fastboot").some((c) => c.startsWith("flash boot_a ")), bridge.toolCalls("fastboot").join("\n"));
    // fastboot got exactly the bytes the page uploaded.
    assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
  });

  await t.test("an identity partition: the bridge's refusal text, not a network failure", async () => {
    bridge.clearToolCalls("fastboot");
    await page.fill("#image-partition", "EFS");
    await page.click("#flash-image");
    const text = await h.waitForText(page, "#image-result", /BLOCK|failure|: OK/);
    assert.equal(text, IDENTITY_REFUSAL);
    assert.deepEqual(bridge.toolCalls("fastboot").filter((c) => c.startsWith("flash")), []);
  });
});

test("wireless: pairing with a wrong code shows not ok and adb's words", async (t) => {
  if (skipUnless(t, "wifi")) return;
  bridge.setScript("adb", adbWithPhone);
  bridge.clearToolCalls("adb");
  await page.fill("#wifi-ip", "192.168.1.20");
  await page.fill("#wifi-port", "37123");
  await page.fill("#wifi-code", "000000");
  await page.click("#wifi-pair");
  const text = await h.waitForText(page, "#wifi-result", /^pair: |failure|theek/);
  assert.equal(text, "pair: not ok");
  assert.equal(await page.textContent("#wifi-log"), WRONG_CODE + "\n");
  assert.ok(bridge.toolCalls("adb").includes("pair 192.168.1.20:37123 000000"), bridge.toolCalls("adb").join("\n"));
});

test("reboot to recovery runs adb's recovery reboot and says so", async (t) => {
  if (skipUnless(t, "reboot")) return;
  bridge.clearToolCalls("adb");
  await page.click('[data-reboot="recovery"]');
  const text = await h.waitForText(page, "#power-result", /Reboot sent|failure|unknown/);
  assert.match(text, /^Reboot sent: recovery\./);
  assert.deepEqual(bridge.toolCalls("adb"), ["reboot recovery"]);
});

test("from http://localhost:8081 the page gets no report and says why", async () => {
  const other = await browser.context.newPage();
  try {
    await other.goto(h.REFUSED_ORIGIN + "/adb.html");
    const status = await h.waitForText(other, "#bridge-status", /could not be used|No bridge/);
    assert.match(status, /could not be used from this address \(http:\/\/localhost:8081\)/);
    assert.equal(await other.isDisabled("#read-phone"), true);
    assert.equal(await other.isHidden("#report-table"), true);
    // Any request it still makes is withheld by the browser.
    const outcome = await other.evaluate(async (port) => {
      try {
        await fetch(`http://127.0.0.1:${port}/ping`);
        return "read";
      } catch (e) {
        return "refused";
      }
    }, bridge.port);
    assert.equal(outcome, "refused");
  } finally {
    await other.close();
  }
});

test("a bridge that went away: network failure on the next action, then 'no bridge' on search", async () => {
  await bridge.stop();
  await h.closeServer(blocker);
  blocker = null;
  await page.click("#adb-kill");
  const text = await h.waitForText(page, "#power-result", /Network failure|ok|stopped/);
  assert.match(text, /^Network failure: no reply from the bridge at 127\.0\.0\.1:\d+/);
  await page.click("#find-bridge");
  const status = await h.waitForText(page, "#bridge-status", /No bridge|could not/);
  assert.match(status, /^No bridge is running/);
  assert.match(await page.textContent("#bridge-help"), /Start Talvik Web Bridge/);
  assert.equal(await page.isDisabled("#read-phone"), true);

  // A listener that takes the connection and says nothing is what a bridge
  // busy with another request looks like: not reported as missing.
  const held = [];
  const silent = await h.listenSilently(h.DEFAULT_PORT, held);
  if (!silent) return;
  try {
    await page.click("#find-bridge");
    const busy = await h.waitForText(page, "#bridge-status", /did not answer|No bridge|could not|found/);
    assert.match(busy, /^Something on 127\.0\.0\.1:9765 took the connection but did not answer/);
  } finally {
    for (const socket of held) socket.destroy();
    await h.closeServer(silent);
  }
});
