// scripts/serve-and-start.sh, which scripts/run.sh and scripts/demo.sh start
// the bridge with: the page on http://localhost:8080/adb.html beside the
// bridge, both ended by Ctrl+C or when the bridge ends by itself, and a
// bridge that runs all the same when 8080 is taken.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const fs = require("node:fs");
const http = require("node:http");
const net = require("node:net");
const os = require("node:os");
const path = require("node:path");

const repoRoot = path.resolve(__dirname, "..", "..");
const script = path.join(repoRoot, "scripts", "serve-and-start.sh");
const bridgeBinary = process.env.TALVIK_BRIDGE || path.join(repoRoot, "build", "talvik-web-bridge");
const PAGE = "http://localhost:8080/adb.html";

// The parent of every process, read from /proc (no ps on a bare machine).
function parents() {
  const map = new Map();
  for (const name of fs.readdirSync("/proc")) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${name}/stat`, "utf8");
      const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
      map.set(Number(name), { ppid: Number(fields[1]), state: fields[0] });
    } catch {
      // ended while listed
    }
  }
  return map;
}

function childrenOf(pid) {
  return [...parents()].filter(([, p]) => p.ppid === pid).map(([child]) => child);
}

// A zombie has ended; only its parent has not collected it yet.
function alive(pid) {
  const p = parents().get(pid);
  return Boolean(p) && p.state !== "Z";
}

async function until(check, what, ms = 30000) {
  for (const end = Date.now() + ms; Date.now() < end; ) {
    if (await check()) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  assert.fail("never happened: " + what);
}

function get(url, headers = {}) {
  return new Promise((resolve, reject) => {
    http
      .get(url, { headers, agent: false }, (res) => {
        const chunks = [];
        res.on("data", (c) => chunks.push(c));
        res.on("end", () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks) }));
      })
      .on("error", reject);
  });
}

function refuses(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, "127.0.0.1");
    socket.on("connect", () => {
      socket.destroy();
      resolve(false);
    });
    socket.on("error", () => resolve(true));
  });
}

// The script in a process group of its own, as a terminal runs a command,
// with the bridge copied into a temporary folder and HOME there (the bridge
// writes its log-on entry under it).
class Started {
  constructor() {
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-serve-"));
    const binary = path.join(this.dir, "talvik-web-bridge");
    fs.copyFileSync(bridgeBinary, binary);
    fs.chmodSync(binary, 0o755);
    const env = { ...process.env, HOME: this.dir, XDG_CONFIG_HOME: path.join(this.dir, "config") };
    this.proc = spawn("bash", [script, binary], { cwd: this.dir, env, detached: true, stdio: ["ignore", "pipe", "pipe"] });
    this.output = "";
    this.proc.stdout.on("data", (c) => (this.output += c));
    this.proc.stderr.on("data", (c) => (this.output += c));
    this.ended = new Promise((r) => this.proc.on("exit", (code, signal) => r({ code, signal })));
  }

  // Waits for the bridge's banner; returns its port.
  async bridgePort() {
    let m;
    await until(() => (m = /Port: +127\.0\.0\.1:(\d+)\n/.exec(this.output)) || this.proc.exitCode !== null, "the banner");
    assert.ok(m, this.output);
    return Number(m[1]);
  }

  // The bridge and the web server the script started.
  helpers() {
    const pids = childrenOf(this.proc.pid);
    const bridge = pids.find((p) => fs.readlinkSync(`/proc/${p}/exe`).endsWith("talvik-web-bridge"));
    return { bridge, web: pids.find((p) => p !== bridge) };
  }

  async dispose() {
    if (this.proc.exitCode === null && this.proc.signalCode === null) {
      try {
        process.kill(-this.proc.pid, "SIGKILL");
      } catch {}
      await this.ended;
    }
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

async function pageIsServed() {
  const page = await get(PAGE);
  assert.equal(page.status, 200);
  assert.match(page.headers["content-type"], /^text\/html/);
  assert.ok(page.body.equals(fs.readFileSync(path.join(repoRoot, "web", "adb.html"))), "not web/adb.html");
}

test("run.sh's start: the page on localhost:8080 beside the bridge, and no server left behind", async (t) => {
  await t.test("Ctrl+C ends the bridge and the page's server", async () => {
    const s = new Started();
    try {
      const port = await s.bridgePort();
      assert.ok(s.output.indexOf(PAGE) >= 0 && s.output.indexOf(PAGE) < s.output.indexOf("Talvik Web Bridge"), s.output);
      await pageIsServed();
      assert.deepEqual((await get("http://localhost:8080/")).headers.location, "/adb.html");
      assert.equal((await get("http://localhost:8080/../README.md")).status, 404);
      // The page's origin is one the bridge answers.
      const ping = await get(`http://127.0.0.1:${port}/ping`, { Origin: "http://localhost:8080" });
      assert.equal(JSON.parse(ping.body).name, "Talvik Web Bridge");
      assert.equal(ping.headers["access-control-allow-origin"], "http://localhost:8080");

      const { bridge, web } = s.helpers();
      assert.ok(bridge && web, s.output);
      process.kill(-s.proc.pid, "SIGINT");
      await s.ended;
      assert.equal(alive(bridge), false, "bridge left running");
      assert.equal(alive(web), false, "web server left running");
      assert.equal(await refuses(8080), true);
      assert.equal(await refuses(port), true);
    } finally {
      await s.dispose();
    }
  });

  await t.test("a bridge that ends by itself takes the page's server with it", async () => {
    const s = new Started();
    try {
      await s.bridgePort();
      await pageIsServed();
      const { bridge, web } = s.helpers();
      process.kill(bridge, "SIGKILL");
      const { code } = await s.ended;
      assert.notEqual(code, 0);
      assert.equal(alive(web), false, "web server left running");
      assert.equal(await refuses(8080), true);
    } finally {
      await s.dispose();
    }
  });

  await t.test("the script killed outright: the page's server notices and ends", async () => {
    const s = new Started();
    try {
      await s.bridgePort();
      const { bridge, web } = s.helpers();
      process.kill(s.proc.pid, "SIGKILL");
      await s.ended;
      process.kill(bridge, "SIGKILL");
      await until(() => !alive(web), "the web server ending");
      await until(() => refuses(8080), "8080 freed");
    } finally {
      await s.dispose();
    }
  });
});

test("8080 taken: the console says so with the address, the bridge runs, the other server is left alone", async () => {
  const other = http.createServer((req, res) => res.writeHead(404).end());
  await new Promise((resolve, reject) => {
    other.once("error", reject);
    other.listen(8080, "127.0.0.1", resolve);
  });
  const s = new Started();
  try {
    const port = await s.bridgePort();
    assert.match(s.output, /Port 8080 par pehle se koi aur program chal raha hai/);
    assert.ok(s.output.includes(PAGE), s.output);
    assert.match(s.output, /Bridge phir bhi chal raha hai/);
    assert.equal(JSON.parse((await get(`http://127.0.0.1:${port}/ping`)).body).ok, true);
    const { bridge } = s.helpers();
    assert.deepEqual(childrenOf(s.proc.pid), [bridge]);

    process.kill(-s.proc.pid, "SIGINT");
    await s.ended;
    assert.equal(alive(bridge), false, "bridge left running");
    assert.equal((await get("http://127.0.0.1:8080/")).status, 404);
  } finally {
    await s.dispose();
    other.closeAllConnections();
    await new Promise((r) => other.close(r));
  }
});
