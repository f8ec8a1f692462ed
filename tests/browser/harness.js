// Shared pieces of the browser suite: the real bridge binary in a temporary
// folder with the tool double beside it as adb and fastboot, the web servers
// that give the pages their origins, and headless Chromium.
"use strict";

const { spawn, execFileSync } = require("node:child_process");
const crypto = require("node:crypto");
const fs = require("node:fs");
const http = require("node:http");
const https = require("node:https");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");
const assert = require("node:assert/strict");
const { chromium } = require("playwright-core");

const repoRoot = path.resolve(__dirname, "..", "..");
const webDir = path.join(repoRoot, "web");
const fixturesDir = path.join(repoRoot, "tests", "fixtures", "browser");
// TALVIK_WINE_DIR=<Windows build folder> runs that build's .exe under Wine,
// with the Windows tool double; otherwise the Linux build is used.
const wineDir = process.env.TALVIK_WINE_DIR || "";
const exeSuffix = wineDir ? ".exe" : "";
const bridgeBinary = wineDir
  ? path.join(wineDir, "talvik-web-bridge.exe")
  : process.env.TALVIK_BRIDGE || path.join(repoRoot, "build", "talvik-web-bridge");
const toolDouble = wineDir
  ? path.join(wineDir, "tests", "tool_double.exe")
  : process.env.TALVIK_TOOL_DOUBLE || path.join(repoRoot, "build", "tests", "tool_double");
const chromiumPath = process.env.TALVIK_CHROMIUM || "/usr/bin/chromium";
// Where the suite leaves pictures for people (the README's screenshot).
const outputDir = process.env.TALVIK_BROWSER_OUT || path.join(repoRoot, "build", "browser");

const ALLOWED_ORIGIN = "http://localhost:8080";
const REFUSED_ORIGIN = "http://localhost:8081";
const SITE_ORIGIN = "https://www.talvik.pk";
const DEFAULT_PORT = 9765;

// ---- The bridge ------------------------------------------------------------

class Bridge {
  constructor() {
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-browser-"));
    this.binary = path.join(this.dir, "talvik-web-bridge" + exeSuffix);
    fs.copyFileSync(bridgeBinary, this.binary);
    fs.chmodSync(this.binary, 0o755);
    this.proc = null;
    this.port = 0;
    this.console = "";
    this.tools = new Set();
    this.gates = new Set();
  }

  // Puts the tool double beside the bridge as `name` with `script` (see
  // tests/doubles/tool_double.cpp for the script lines).
  addTool(name, script) {
    const target = path.join(this.dir, name + exeSuffix);
    this.tools.add(name);
    if (!fs.existsSync(target)) {
      fs.copyFileSync(toolDouble, target);
      fs.chmodSync(target, 0o755);
    }
    this.setScript(name, script);
  }

  // Puts a file that is no program in the place of tool `name` (a broken or
  // half-copied tool), and puts the double back.
  breakTool(name) {
    // Not executable: Linux would run an executable text file with the shell.
    // Removed first: a run of the double may still hold the old file.
    const target = path.join(this.dir, name + exeSuffix);
    fs.rmSync(target, { force: true });
    fs.writeFileSync(target, "not a program\n");
    fs.chmodSync(target, 0o644);
  }
  mendTool(name) {
    const target = path.join(this.dir, name + exeSuffix);
    fs.rmSync(target, { force: true });
    fs.copyFileSync(toolDouble, target);
    fs.chmodSync(target, 0o755);
  }

  // The double reads its script on every run, so a test can change what the
  // tool prints while the bridge keeps running.
  setScript(name, script) {
    fs.writeFileSync(path.join(this.dir, name + ".script"), script);
  }

  // Copies a checked-in fixture beside the tools, for "file NAME" lines;
  // `dir` is a folder under tests/fixtures (default: browser).
  addFixture(name, dir = "browser") {
    fs.copyFileSync(path.join(fixturesDir, "..", dir, name), path.join(this.dir, name));
  }

  // The argument lines of every run of tool `name` so far.
  toolCalls(name) {
    const log = path.join(this.dir, name + ".log");
    return fs.existsSync(log) ? fs.readFileSync(log, "utf8").split("\n").filter(Boolean) : [];
  }

  // Forgets the runs of tool `name`, or of every tool when none is named.
  clearToolCalls(name) {
    for (const tool of name ? [name] : this.tools) fs.rmSync(path.join(this.dir, tool + ".log"), { force: true });
  }

  // A double whose script says "wait NAME" waits until the gate NAME is
  // opened (two minutes at most), so a test can look at the page while the
  // tool runs for as long as it needs.
  closeGate(name) {
    this.gates.add(name);
    fs.rmSync(path.join(this.dir, name), { force: true });
  }
  openGate(name) {
    this.gates.add(name);
    fs.writeFileSync(path.join(this.dir, name), "");
  }
  openAllGates() {
    for (const name of this.gates) this.openGate(name);
  }

  running() {
    return Boolean(this.proc) && this.proc.exitCode === null && this.proc.signalCode === null;
  }

  file(relative) {
    return path.join(this.dir, relative);
  }

  // Starts the bridge (again, after stop()) and waits for the banner's port
  // line.
  start() {
    this.port = 0;
    this.console = "";
    return new Promise((resolve, reject) => {
      const [command, args] = wineDir ? ["wine", [this.binary]] : [this.binary, []];
      this.proc = spawn(command, args, { cwd: this.dir, stdio: ["ignore", "pipe", wineDir ? "ignore" : "pipe"] });
      const timer = setTimeout(() => reject(new Error("no banner from the bridge:\n" + this.console)), 60000);
      const onData = (chunk) => {
        this.console += chunk.toString("utf8");
        const m = /  Port: +127\.0\.0\.1:(\d+)\r?\n/.exec(this.console);
        if (m && !this.port) {
          this.port = Number(m[1]);
          clearTimeout(timer);
          resolve(this.port);
        }
      };
      this.proc.stdout.on("data", onData);
      if (this.proc.stderr) this.proc.stderr.on("data", onData);
      this.proc.on("exit", (code) => {
        clearTimeout(timer);
        if (!this.port) reject(new Error("bridge ended with " + code + ":\n" + this.console));
      });
    });
  }

  async stop() {
    if (this.running()) {
      const ended = new Promise((r) => this.proc.once("exit", r));
      this.proc.kill("SIGKILL");
      await ended;
    }
    this.proc = null;
  }

  async dispose() {
    await this.stop();
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// One raw HTTP exchange with the bridge: sends the request bytes, reads
// until the bridge closes. Returns { status, head, body }.
function rawRequest(port, requestText, body) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, "127.0.0.1");
    const chunks = [];
    socket.setTimeout(120000, () => socket.destroy(new Error("bridge reply timed out")));
    socket.on("connect", () => {
      socket.write(requestText);
      if (body) socket.write(body);
    });
    socket.on("data", (c) => chunks.push(c));
    socket.on("error", reject);
    socket.on("close", () => {
      const raw = Buffer.concat(chunks).toString("utf8");
      const blank = raw.indexOf("\r\n\r\n");
      resolve({
        status: raw.slice(0, raw.indexOf("\r\n")),
        head: blank < 0 ? raw : raw.slice(0, blank + 4),
        body: blank < 0 ? "" : raw.slice(blank + 4),
      });
    });
  });
}

// A GET as the allowed development page sends it, with the bridge header
// when `acting`.
function bridgeGet(port, target, acting = true) {
  const head =
    `GET ${target} HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nOrigin: ${ALLOWED_ORIGIN}\r\n` +
    (acting ? "X-Talvik-Bridge: 1\r\n" : "") +
    "Connection: close\r\n\r\n";
  return rawRequest(port, head);
}

// Whether a route of the bridge is built yet. Each probe is harmless: it
// runs no tool and writes nothing (or only lists devices, for /info), and a
// route still missing answers with the unknown-route reply.
const routeProbes = {
  info: (port) => bridgeGet(port, "/info", false),
  flash: (port) =>
    rawRequest(
      port,
      `POST /flash?partition=efs HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nOrigin: ${ALLOWED_ORIGIN}\r\n` +
        "X-Talvik-Bridge: 1\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx",
    ),
  flashurl: (port) => bridgeGet(port, "/flashurl"),
  wifi: (port) => bridgeGet(port, "/wifi-pair"),
  reboot: (port) => bridgeGet(port, "/reboot?to=none"),
  devices: (port) => bridgeGet(port, "/devices", false),
  doctor: (port) => bridgeGet(port, "/doctor", false),
};

async function routeReady(port, route) {
  const reply = await routeProbes[route](port);
  return reply.body !== '{"ok":false,"error":"unknown"}';
}

// ---- Other listeners ---------------------------------------------------------

// Holds a loopback port with a plain web server that is not the bridge (it
// names no allowed origin). Resolves to null when the port is taken already.
function occupyPort(port) {
  return new Promise((resolve) => {
    const server = net.createServer((socket) => {
      socket.on("error", () => {});
      socket.once("data", () => {
        socket.end("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 10\r\nConnection: close\r\n\r\nnot here\r\n");
      });
    });
    server.once("error", () => resolve(null));
    server.listen(port, "127.0.0.1", () => resolve(server));
  });
}

// Holds a loopback port with a listener that accepts and never answers; the
// accepted sockets go into `held`. Resolves to null when the port is taken.
function listenSilently(port, held) {
  return new Promise((resolve) => {
    const server = net.createServer((socket) => {
      socket.on("error", () => {});
      held.push(socket);
    });
    server.once("error", () => resolve(null));
    server.listen(port, "127.0.0.1", () => resolve(server));
  });
}

// The empty page the fetch tests run their requests from.
const PROBE_PAGE = "<!doctype html><meta charset=utf-8><title>probe</title><p>probe</p>";

function webHandler(req, res) {
  const url = new URL(req.url, "http://x");
  if (url.pathname === "/probe.html") {
    res.writeHead(200, { "Content-Type": "text/html; charset=utf-8", "Cache-Control": "no-store" });
    res.end(PROBE_PAGE);
    return;
  }
  const file = path.join(webDir, path.normalize(decodeURIComponent(url.pathname)).replace(/^(\.\.[/\\])+/, ""));
  if (!file.startsWith(webDir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    res.writeHead(404, { "Content-Type": "text/plain" });
    res.end("not found");
    return;
  }
  res.writeHead(200, { "Content-Type": "text/html; charset=utf-8", "Cache-Control": "no-store" });
  res.end(fs.readFileSync(file));
}

function listen(server, port) {
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(port, "127.0.0.1", () => resolve(server));
  });
}

// Serves web/ (and the probe page) on 127.0.0.1:`port`; the browser opens it
// as http://localhost:`port`.
function serveWeb(port) {
  return listen(http.createServer(webHandler), port);
}

// Serves the same pages over HTTPS on a free loopback port, with a
// self-signed certificate for the site's host made for this run only.
async function serveSite() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-site-"));
  const key = path.join(dir, "key.pem");
  const cert = path.join(dir, "cert.pem");
  const host = new URL(SITE_ORIGIN).hostname;
  execFileSync(
    "openssl",
    ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "1",
      "-subj", "/CN=" + host, "-addext", "subjectAltName=DNS:" + host],
    { stdio: "ignore" },
  );
  const server = https.createServer({ key: fs.readFileSync(key), cert: fs.readFileSync(cert) }, webHandler);
  fs.rmSync(dir, { recursive: true, force: true });
  await listen(server, 0);
  return server;
}

function closeServer(server) {
  return server ? new Promise((r) => server.close(() => r())) : Promise.resolve();
}

// ---- The browser -------------------------------------------------------------

// Headless Chromium with a fresh profile. `sitePort` maps the operator's site
// to the local HTTPS server; with `publicSite` the browser treats that server
// as a site on the internet, so its requests to 127.0.0.1 need the
// local-network permission (see setLocalNetworkPermission).
async function launchBrowser(sitePort, { publicSite = false } = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-chromium-"));
  const args = [
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
  ];
  if (sitePort) {
    args.push(`--host-resolver-rules=MAP ${new URL(SITE_ORIGIN).hostname}:443 127.0.0.1:${sitePort}`);
    args.push("--ignore-certificate-errors");
    if (publicSite) args.push(`--ip-address-space-overrides=127.0.0.1:${sitePort}=public`);
  }
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args,
    viewport: { width: 1100, height: 900 },
  });
  context.setDefaultTimeout(60000);
  const close = async () => {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { context, close };
}

// Grants or denies ("granted"/"denied") the local-network permission of the
// operator's site, as the user's answer to the browser's prompt would.
async function setLocalNetworkPermission(context, page, setting) {
  // Chromium names the permission for loopback addresses
  // "loopback-network"; versions before that split call it
  // "local-network-access". Setting both at once leaves the first one in
  // force, so only the first name the browser knows is set. The setting
  // lasts only while its session is attached, so the session is kept open.
  const cdp = await context.newCDPSession(page);
  for (const name of ["loopback-network", "local-network-access"]) {
    try {
      await cdp.send("Browser.setPermission", { permission: { name }, setting, origin: SITE_ORIGIN });
      return;
    } catch (e) {
      if (name === "local-network-access") throw e;
    }
  }
}

// Waits until the element's text satisfies `test` (a RegExp or a string it
// must contain) and returns the text.
async function waitForText(page, selector, test, timeout = 60000) {
  const handle = await page.waitForFunction(
    ({ selector, source, flags, part }) => {
      const el = document.querySelector(selector);
      if (!el) return false;
      const text = el.textContent;
      const ok = source !== null ? new RegExp(source, flags).test(text) : text.includes(part);
      return ok ? text : false;
    },
    test instanceof RegExp
      ? { selector, source: test.source, flags: test.flags, part: null }
      : { selector, source: null, flags: "", part: test },
    { timeout },
  );
  return handle.jsonValue();
}

// ---- Between tests -------------------------------------------------------------

// True when web/adb.html runs no action, asks nothing and holds nothing
// (run in the page).
function pageIdle() {
  return (
    document.querySelector("#activity").hidden &&
    !document.querySelector("#confirm").open &&
    !document.querySelector("#find-bridge").disabled
  );
}

// The page's requests to the bridge that have not ended yet (a Playwright
// or a Puppeteer page).
function trackBridgeRequests(page) {
  const open = new Set();
  page.on("request", (r) => {
    if (/^http:\/\/127\.0\.0\.1:/.test(r.url())) open.add(r);
  });
  page.on("requestfinished", (r) => open.delete(r));
  page.on("requestfailed", (r) => open.delete(r));
  return open;
}

// Waits up to `ms` until the page is idle with no request to the bridge
// open; false when that did not happen.
async function quiet(page, open, ms) {
  for (const end = Date.now() + ms; Date.now() < end; await new Promise((r) => setTimeout(r, 50))) {
    if (open.size === 0 && (await page.evaluate(pageIdle))) return true;
  }
  return false;
}

// Ends what a test left behind before the next one starts: a confirmation
// still open is answered no, every gate is opened so the tool doubles go on,
// and the action still running is waited for until its verdict. One that
// does not end within `ms` is ended by restarting the bridge.
async function settle(page, bridge, open, ms = 90000) {
  bridge.openAllGates();
  await page.evaluate(() => {
    const dialog = document.querySelector("#confirm");
    if (dialog.open) dialog.close("no");
  });
  if (await quiet(page, open, ms)) return;
  if (!bridge.running()) throw new Error("the page is still busy, with no bridge running");
  await bridge.stop();
  await bridge.start();
  if (!(await quiet(page, open, ms))) throw new Error("the page is still busy after the bridge restarted");
}

// Waits until `fn(arg)` (run in the page) is true, at most `timeout` ms; a
// state that does not come fails with `message`.
async function waitUntil(page, fn, arg, message, timeout = 30000) {
  try {
    await page.waitForFunction(fn, arg, { timeout });
  } catch (e) {
    if (e.name !== "TimeoutError") throw e;
    assert.fail(`${message} (waited ${timeout / 1000} s)`);
  }
}

// Starts recording every text the stage box shows (its stage, details,
// counts and quiet note), in order, as "ID: TEXT"; stagesShown reads the
// record. Works on a Playwright and a Puppeteer page.
function recordStages(page) {
  return page.evaluate(() => {
    window.stagesShown = [];
    if (window.stageRecorder) return;
    window.stageRecorder = new MutationObserver((records) => {
      for (const r of records) for (const n of r.addedNodes) window.stagesShown.push(r.target.id + ": " + n.textContent);
    });
    window.stageRecorder.observe(document.querySelector("#activity"), { childList: true, subtree: true });
  });
}

function stagesShown(page) {
  return page.evaluate(() => window.stagesShown);
}

// Fails unless `shown` has an entry matching each of `patterns`, in that
// order.
function assertInOrder(shown, patterns) {
  let at = -1;
  for (const pattern of patterns) {
    const next = shown.findIndex((s, i) => i > at && pattern.test(s));
    assert.ok(next >= 0, `${pattern} does not follow ${at >= 0 ? JSON.stringify(shown[at]) : "the start"}:\n` +
      shown.join("\n"));
    at = next;
  }
}

function sha256(bytes) {
  return crypto.createHash("sha256").update(bytes).digest("hex");
}

// A pseudo-random image of `size` bytes, the same for every run.
function makeImage(size) {
  const out = Buffer.alloc(size);
  let x = 0x2545f491;
  for (let i = 0; i < size; i += 4) {
    x ^= x << 13;
    x ^= x >>> 17;
    x ^= x << 5;
    out.writeUInt32LE(x >>> 0, i);
  }
  return out;
}

module.exports = {
  ALLOWED_ORIGIN,
  REFUSED_ORIGIN,
  SITE_ORIGIN,
  DEFAULT_PORT,
  Bridge,
  rawRequest,
  bridgeGet,
  routeReady,
  occupyPort,
  listenSilently,
  serveWeb,
  serveSite,
  closeServer,
  launchBrowser,
  setLocalNetworkPermission,
  waitForText,
  pageIdle,
  trackBridgeRequests,
  settle,
  waitUntil,
  recordStages,
  stagesShown,
  assertInOrder,
  sha256,
  makeImage,
  outputDir,
};
