// A small client of the Chrome DevTools Protocol over --remote-debugging-pipe: the browser reads
// commands from its fd 3 and answers on fd 4, each message JSON ended by a zero byte. Enough for
// the tests and the page benchmark, with nothing to install.
import { spawn } from "node:child_process";
import { accessSync, constants, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

// The browser to drive, or null when there is none.
export function findChromium() {
    for (const candidate of [process.env.CHROMIUM, "/usr/bin/chromium", "/usr/bin/chromium-browser"]) {
        try {
            if (candidate) {
                accessSync(candidate, constants.X_OK);
                return candidate;
            }
        } catch {
            // not there; try the next
        }
    }
    return null;
}

export class Browser {
    static async launch(executable) {
        const profile = mkdtempSync(join(tmpdir(), "quillbox-chromium-"));
        const child = spawn(
            executable,
            [
                "--headless=new",
                "--no-sandbox",
                "--disable-gpu",
                "--disable-background-networking",
                "--disable-component-update",
                "--disable-sync",
                "--disable-extensions",
                "--no-first-run",
                "--no-default-browser-check",
                "--hide-scrollbars",
                "--font-render-hinting=none",
                `--user-data-dir=${profile}`,
                "--remote-debugging-pipe",
                "about:blank",
            ],
            { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] },
        );
        const browser = new Browser(child, profile);
        // The first answer tells that the pipe is up.
        await browser.send("Browser.getVersion");
        return browser;
    }

    constructor(child, profile) {
        this.child = child;
        this.profile = profile;
        this.nextId = 1;
        this.pending = new Map();
        this.listeners = [];
        this.log = "";
        this.buffer = Buffer.alloc(0);
        child.stderr.on("data", (chunk) => {
            this.log = (this.log + chunk).slice(-4000);
        });
        child.stdio[4].on("data", (chunk) => this.receive(chunk));
        child.on("exit", (code) => {
            for (const { reject } of this.pending.values()) {
                reject(new Error(`browser exited (${code}): ${this.log}`));
            }
            this.pending.clear();
        });
    }

    receive(chunk) {
        this.buffer = Buffer.concat([this.buffer, chunk]);
        let end;
        while ((end = this.buffer.indexOf(0)) >= 0) {
            const message = JSON.parse(this.buffer.subarray(0, end).toString("utf8"));
            this.buffer = this.buffer.subarray(end + 1);
            if (message.id !== undefined && this.pending.has(message.id)) {
                const { resolve, reject, method } = this.pending.get(message.id);
                this.pending.delete(message.id);
                if (message.error) {
                    reject(new Error(`${method}: ${message.error.message}`));
                } else {
                    resolve(message.result);
                }
            } else if (message.method) {
                for (const listener of [...this.listeners]) {
                    listener(message);
                }
            }
        }
    }

    send(method, params = {}, sessionId = undefined) {
        const id = this.nextId++;
        const message = { id, method, params };
        if (sessionId) {
            message.sessionId = sessionId;
        }
        return new Promise((resolve, reject) => {
            this.pending.set(id, { resolve, reject, method });
            this.child.stdio[3].write(JSON.stringify(message) + "\0");
        });
    }

    // Resolves with the first event of that name (and session) for which accept holds.
    waitFor(method, sessionId, accept = () => true, timeoutMs = 30000) {
        return new Promise((resolve, reject) => {
            const timer = setTimeout(() => {
                this.listeners = this.listeners.filter((l) => l !== listener);
                reject(new Error(`timed out waiting for ${method}`));
            }, timeoutMs);
            const listener = (message) => {
                if (message.method === method && message.sessionId === sessionId && accept(message.params)) {
                    clearTimeout(timer);
                    this.listeners = this.listeners.filter((l) => l !== listener);
                    resolve(message.params);
                }
            };
            this.listeners.push(listener);
        });
    }

    async newPage({ width = 1000, height = 1200, mobile = false } = {}) {
        const { targetId } = await this.send("Target.createTarget", { url: "about:blank" });
        const { sessionId } = await this.send("Target.attachToTarget", { targetId, flatten: true });
        const page = new Page(this, sessionId, targetId);
        await page.send("Page.enable");
        await page.send("Runtime.enable");
        await page.send("Emulation.setDeviceMetricsOverride", {
            width,
            height,
            deviceScaleFactor: 1,
            mobile,
        });
        return page;
    }

    async close() {
        const exited = new Promise((resolve) => {
            if (this.child.exitCode !== null || this.child.signalCode !== null) {
                resolve();
            } else {
                this.child.once("exit", resolve);
            }
        });
        this.send("Browser.close").catch(() => {});
        const timer = setTimeout(() => this.child.kill("SIGKILL"), 5000);
        await exited;
        clearTimeout(timer);
        rmSync(this.profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
    }
}

export class Page {
    constructor(browser, sessionId, targetId) {
        this.browser = browser;
        this.sessionId = sessionId;
        this.targetId = targetId;
        this.errors = [];
        browser.listeners.push((message) => {
            if (message.sessionId !== sessionId) {
                return;
            }
            if (message.method === "Runtime.exceptionThrown") {
                this.errors.push(message.params.exceptionDetails.text);
            } else if (message.method === "Runtime.consoleAPICalled" && message.params.type === "error") {
                this.errors.push(message.params.args.map((a) => a.value).join(" "));
            }
        });
    }

    send(method, params = {}) {
        return this.browser.send(method, params, this.sessionId);
    }

    async goto(url) {
        const loaded = this.browser.waitFor("Page.loadEventFired", this.sessionId);
        const { errorText } = await this.send("Page.navigate", { url });
        if (errorText) {
            throw new Error(`navigate ${url}: ${errorText}`);
        }
        await loaded;
    }

    // The value of a JavaScript expression in the page (awaited when it is a promise).
    async evaluate(expression) {
        const { result, exceptionDetails } = await this.send("Runtime.evaluate", {
            expression,
            returnByValue: true,
            awaitPromise: true,
        });
        if (exceptionDetails) {
            throw new Error(`${expression}: ${exceptionDetails.exception?.description ?? exceptionDetails.text}`);
        }
        return result.value;
    }

    async screenshot() {
        const { data } = await this.send("Page.captureScreenshot", { format: "png" });
        return Buffer.from(data, "base64");
    }

    close() {
        return this.browser.send("Target.closeTarget", { targetId: this.targetId });
    }
}
