// scripts/serve-and-start.sh, which scripts/run.sh and scripts/demo.sh start
// the bridge with: the page on http://localhost:8080/adb.html beside the
// bridge, a console that names one address and one way to stop, both ended
// by Ctrl+C with a last line saying so, when the bridge ends by itself or when the
// script is killed outright, no image left by a flash stopped that way, and
// a bridge that runs all the same when 8080 is taken.
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
const toolDouble = process.env.TALVIK_TOOL_DOUBLE || path.join(repoRoot, "build", "tests", "tool_double");
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
// writes its log-on entry under it). `fastboot`: a script for the tool
// double put beside the bridge as fastboot; `path`: folders put before PATH.
class Started {
  constructor({ fastboot, path: before } = {}) {
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-serve-"));
    const binary = path.join(this.dir, "talvik-web-bridge");
    fs.copyFileSync(bridgeBinary, binary);
    fs.chmodSync(binary, 0o755);
    if (fastboot !== undefined) {
      fs.copyFileSync(toolDouble, path.join(this.dir, "fastboot"));
      fs.chmodSync(path.join(this.dir, "fastboot"), 0o755);
      fs.writeFileSync(path.join(this.dir, "fastboot.script"), fastboot);
    }
    const env = { ...process.env, HOME: this.dir, XDG_CONFIG_HOME: path.join(this.dir, "config") };
    if (before !== undefined) env.PATH = before + ":" + env.PATH;
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

  // Waits for the banner's closing rule.
  async bannerEnd() {
    await until(() => /Ctrl\+C dabayein\.\n=+\n/.test(this.output) || this.proc.exitCode !== null, "the banner's end");
  }

  // The bridge and the web server the script started.
  helpers() {
    const pids = childrenOf(this.proc.pid);
    const bridge = pids.find((p) => fs.readlinkSync(`/proc/${p}/exe`).endsWith("talvik-web-bridge"));
    return { bridge, web: pids.find((p) => p !== bridge) };
  }

  // Ends whatever of the group is still running, the script's helpers too
  // when the script was killed alone, and waits until 8080 is free again.
  async dispose() {
    try {
      process.kill(-this.proc.pid, "SIGKILL");
    } catch {}
    await this.ended;
    await until(() => refuses(8080), "8080 freed");
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// The console names one page to open, `address`, and one way to stop.
function assertOneAddressAndOneStop(output, address) {
  assert.equal(output.split("adb.html").length - 1, 1, output);
  assert.ok(output.includes(`  Chal raha hai. Browser mein ${address} kholkar\n`), output);
  assert.equal(output.split("Ctrl+C").length - 1, 1, output);
  assert.ok(output.includes("  Band karne ke liye is window mein Ctrl+C dabayein.\n"), output);
  assert.doesNotMatch(output, /window close/);
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
      await s.bannerEnd();
      assertOneAddressAndOneStop(s.output, PAGE);
      // HOME is the test's folder: the entry is there, and no log-in reads it.
      assert.ok(s.output.includes(`  Log-on entry likha gaya: ${s.dir}/config/autostart/talvik-web-bridge.desktop\n`), s.output);
      assert.match(s.output, /login par ye helper khud start NAHI hoga\./);
      assert.doesNotMatch(s.output, /KHUD start hoga/);
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
      await until(() => /\n  Bridge aur page dono band ho gaye\.\n$/.test(s.output), "the last line: " + s.output);
      assert.equal(alive(bridge), false, "bridge left running");
      assert.equal(alive(web), false, "web server left running");
      assert.equal(await refuses(8080), true);
      assert.equal(await refuses(port), true);
    } finally {
      await s.dispose();
    }
  });

  await t.test("TERM to the script alone: both end, and the last line says so", async () => {
    const s = new Started();
    try {
      await s.bannerEnd();
      const { bridge, web } = s.helpers();
      process.kill(s.proc.pid, "SIGTERM");
      await s.ended;
      await until(() => /\n  Bridge aur page dono band ho gaye\.\n$/.test(s.output), "the last line: " + s.output);
      assert.equal(alive(bridge), false, "bridge left running");
      assert.equal(alive(web), false, "web server left running");
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

  await t.test("the script killed outright: the bridge and the page's server end by themselves", async () => {
    const s = new Started();
    try {
      const port = await s.bridgePort();
      const { bridge, web } = s.helpers();
      assert.ok(bridge && web, s.output);
      process.kill(s.proc.pid, "SIGKILL");
      await s.ended;
      await until(() => !alive(bridge), "the bridge ending");
      await until(() => refuses(port), "the bridge's port freed");
      await until(() => !alive(web), "the web server ending");
      await until(() => refuses(8080), "8080 freed");
    } finally {
      await s.dispose();
    }
  });

  await t.test("a setpriv without --pdeathsig: the bridge still ends with the script killed outright", async () => {
    const bin = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-no-setpriv-"));
    const oldSetpriv = "#!/bin/sh\necho \"setpriv: unrecognized option '--pdeathsig'\" >&2\nexit 1\n";
    fs.writeFileSync(path.join(bin, "setpriv"), oldSetpriv);
    fs.chmodSync(path.join(bin, "setpriv"), 0o755);
    const s = new Started({ path: bin });
    try {
      const port = await s.bridgePort();
      const { bridge } = s.helpers();
      assert.ok(bridge, s.output);
      process.kill(s.proc.pid, "SIGKILL");
      await s.ended;
      await until(() => !alive(bridge), "the bridge ending");
      await until(() => refuses(port), "the bridge's port freed");
    } finally {
      await s.dispose();
      fs.rmSync(bin, { recursive: true, force: true });
    }
  });
});

// A fastboot that lists one phone, and on "flash" opens the image, makes the
// folder "sending" beside itself to say so, and runs on.
const flashingFastboot =
  "match devices\nsay 0A1B2C3D\tfastboot\n\n" + "match flash\nkeep 5\nmkdir sending\nsay Sending 'dtbo'\\r\\n\nhang\n";

// Uploads an image to the bridge as the page does; the reply never comes
// while the fastboot double runs, so nothing waits for it.
function startFlash(port) {
  const body = Buffer.alloc(1024 * 1024, "d");
  const req = http.request({
    host: "127.0.0.1",
    port,
    method: "POST",
    path: "/flash?partition=dtbo",
    agent: false,
    headers: {
      Origin: "http://localhost:8080",
      "X-Talvik-Bridge": "1",
      "Content-Type": "application/octet-stream",
      "Content-Length": body.length,
    },
  });
  req.on("error", () => {});
  req.end(body);
  return req;
}

test("a flash stopped with the script leaves no temporary image", async (t) => {
  for (const [how, stop] of [
    ["Ctrl+C", (s) => process.kill(-s.proc.pid, "SIGINT")],
    ["the script killed outright", (s) => process.kill(s.proc.pid, "SIGKILL")],
  ]) {
    await t.test(how, async () => {
      const s = new Started({ fastboot: flashingFastboot });
      try {
        const port = await s.bridgePort();
        const image = path.join(s.dir, port === 9765 ? "_bridge_flash.tmp" : `_bridge_flash_${port}.tmp`);
        const { bridge } = s.helpers();
        const req = startFlash(port);
        await until(() => fs.existsSync(path.join(s.dir, "sending")), "fastboot flashing");
        assert.ok(fs.existsSync(image), "no image while flashing");
        stop(s);
        await s.ended;
        await until(() => !alive(bridge), "the bridge ending");
        assert.equal(fs.existsSync(image), false, "image left behind");
        req.destroy();
      } finally {
        await s.dispose();
      }
    });
  }
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
    await s.bannerEnd();
    assert.match(s.output, /Port 8080 par pehle se koi aur program chal raha hai/);
    assert.match(s.output, /Bridge phir bhi chal raha hai/);
    // Nothing served here: the banner names the site's page instead.
    assertOneAddressAndOneStop(s.output, "talvik.pk/adb.html");
    assert.equal(JSON.parse((await get(`http://127.0.0.1:${port}/ping`)).body).ok, true);
    const { bridge } = s.helpers();
    assert.deepEqual(childrenOf(s.proc.pid), [bridge]);

    process.kill(-s.proc.pid, "SIGINT");
    await s.ended;
    await until(() => /\n  Bridge band ho gaya\.\n$/.test(s.output), "the last line: " + s.output);
    assert.equal(alive(bridge), false, "bridge left running");
    assert.equal((await get("http://127.0.0.1:8080/")).status, 404);
  } finally {
    other.closeAllConnections();
    await new Promise((r) => other.close(r));
    await s.dispose();
  }
});
