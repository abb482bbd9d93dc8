// An archive folder (--split --html) in headless Chromium: written by quillbox-cli from an
// Android backup made here (conversations of two and a group, a picture, two days), then the
// index's search and ?q=, a conversation page's layout (the owner's messages on the right, a line
// for each day, the writer's name in a group, the picture shown), each page without JavaScript,
// both colour schemes with their contrast and a screenshot each.
//
//     node archive_folder.mjs QUILLBOX_CLI ARTEFACT_DIR [EXAMPLES]
//
// With the sample folders, the screenshots are of their archive folder (the README's).
// Exits 77 (skipped) when there is no browser.
import { execFileSync } from "node:child_process";
import { mkdirSync, mkdtempSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { deflateSync } from "node:zlib";

import { Browser, findChromium } from "./cdp.mjs";
import { contrastRatios, settle, typeSearch } from "./page_checks.mjs";

const [cli, artefacts, examples] = process.argv.slice(2);
const chromium = findChromium();
if (!chromium) {
    console.log("archive folder in browser: skipped, no chromium (scripts/install-deps installs it)");
    process.exit(77);
}

let passed = 0;
let failed = 0;
function check(what, ok, detail = "") {
    if (ok) {
        passed++;
    } else {
        failed++;
        console.log(`FAILED: ${what}${detail ? `: ${detail}` : ""}`);
    }
}
function checkEqual(what, actual, expected) {
    const same = JSON.stringify(actual) === JSON.stringify(expected);
    check(what, same, same ? "" : `got ${JSON.stringify(actual)}, expected ${JSON.stringify(expected)}`);
}

// A PNG of our own: a width × height picture of two colours.
function png(width, height) {
    const crcTable = Array.from({ length: 256 }, (_, n) => {
        let c = n;
        for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        return c >>> 0;
    });
    const crc = (bytes) => {
        let c = 0xffffffff;
        for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
        return (c ^ 0xffffffff) >>> 0;
    };
    const chunk = (type, data) => {
        const body = Buffer.concat([Buffer.from(type, "ascii"), data]);
        const out = Buffer.alloc(8 + data.length + 4);
        out.writeUInt32BE(data.length, 0);
        body.copy(out, 4);
        out.writeUInt32BE(crc(body), 8 + data.length);
        return out;
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width, 0);
    header.writeUInt32BE(height, 4);
    header.set([8, 2, 0, 0, 0], 8);
    const rows = [];
    for (let y = 0; y < height; y++) {
        rows.push(0);
        for (let x = 0; x < width; x++) rows.push(...(x < width / 2 ? [30, 110, 200] : [240, 170, 40]));
    }
    return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
        chunk("IHDR", header), chunk("IDAT", deflateSync(Buffer.from(rows))), chunk("IEND", Buffer.alloc(0))]);
}

// 2023-11-15 and 2023-11-16 in Shanghai.
const day1 = 1700020800000;
const day2 = day1 + 86400000;
const me = `<addr address="insert-address-token" type="151" />`;
const sms = (address, date, type, body, name = "") =>
    `<sms address="${address}" date="${date}" type="${type}" body="${body}" contact_name="${name}" />\n`;
const mms = (address, date, parts, addrs, names) =>
    `<mms date="${date}" msg_box="1" address="${address}" contact_name="${names}"><parts>${parts}</parts><addrs>${addrs}</addrs></mms>\n`;
const picture = png(120, 80);
const backup = `<?xml version='1.0' encoding='UTF-8'?>\n<smses count="8">\n` +
    sms("13900000001", day1, 1, "晚上一起吃饭吗？", "王五") +
    sms("13900000001", day1 + 60000, 2, "好的，七点见") +
    mms("13900000001", day1 + 120000,
        `<part seq="0" ct="text/plain" text="看这张" /><part seq="1" ct="image/png" name="photo.png" data="${picture.toString("base64")}" />`,
        `<addr address="13900000001" type="137" />${me}`, "王五") +
    sms("13900000001", day2, 1, "明天见", "王五") +
    mms("13900000001~13900000002", day2 + 60000, `<part seq="0" ct="text/plain" text="群里的第一条" />`,
        `<addr address="13900000002" type="137" />${me}<addr address="13900000001" type="151" />`, "王五, 李四") +
    sms("13900000003", day1 - 86400000, 1, "赵六的短信 &lt;b&gt;", "赵六") +
    `</smses>\n`;

const work = mkdtempSync(join(tmpdir(), "quillbox-folder-"));
mkdirSync(artefacts, { recursive: true });
mkdirSync(join(work, "m"));
writeFileSync(join(work, "m", "sms-1.xml"), backup);
const folder = join(work, "archive");
execFileSync(cli, ["--modern", "--time-zone=Asia/Shanghai", "-m", join(work, "m"), "--split", "--html",
    "-o", folder, "-q"]);
const pages = readdirSync(join(folder, "conversations"));
// The pages shown in the screenshots: the samples' index and the conversation with a picture.
let shown = [["index", join(folder, "index.html")], ["conversation", join(folder, "conversations", pages.find((p) => p.includes("王五.html")))]];
if (examples) {
    const samples = join(work, "samples");
    execFileSync(cli, ["--modern", "--time-zone=Asia/Shanghai", "-m", examples, "-r", "-c", join(examples, "contacts"),
        "-R", "--split", "--html", "-o", samples, "-q"]);
    const page = readdirSync(join(samples, "conversations")).find((p) => p.endsWith("张三.html"));
    shown = [["index", join(samples, "index.html")], ["conversation", join(samples, "conversations", page)]];
}
const pageOf = (text) => join(folder, "conversations", pages.find((p) => p.includes(text)));
const url = (file, query = "") => pathToFileURL(file).href + query;
const visible = (page, selector) => page.evaluate(
    `[...document.querySelectorAll(${JSON.stringify(selector)})].filter((e) => e.getClientRects().length > 0).length`);

const browser = await Browser.launch(chromium);
try {
    // The index: every conversation, newest first, each link to its page.
    let page = await browser.newPage();
    await page.goto(url(join(folder, "index.html")));
    const index = await page.evaluate(`(() => ({
        title: document.title,
        names: [...document.querySelectorAll("main li .name")].map((n) => n.textContent),
        links: [...document.querySelectorAll("main li a")].map((a) => decodeURIComponent(a.getAttribute("href"))),
        summary: document.querySelector(".summary").textContent,
        outside: performance.getEntriesByType("resource").filter((r) => !r.name.startsWith("file:")).length,
    }))()`);
    checkEqual("the index lists each conversation, newest first",
        index.names, ["王五、李四群聊", "王五", "赵六"]);
    checkEqual("each conversation's link is its page",
        index.links, pages.slice().sort().map((p) => `conversations/${p}`));
    checkEqual("the index counts conversations and messages", index.summary, "共 3 个会话，6 条短信");
    checkEqual("nothing from outside", index.outside, 0);
    checkEqual("the search box shows when scripts run",
        await page.evaluate("getComputedStyle(document.querySelector('.search')).display"), "block");
    await typeSearch(page, "王五");
    checkEqual("a name finds its conversations", await visible(page, "main li"), 2);
    await typeSearch(page, "13900000003");
    checkEqual("a number finds its conversation", await visible(page, "main li"), 1);
    await typeSearch(page, "2023");
    checkEqual("dates are not searched on the index", await visible(page, "main li"), 0);
    checkEqual("the status says nothing was found",
        await page.evaluate("document.getElementById('status').textContent"), "没有找到");
    await typeSearch(page, "");
    checkEqual("an empty search shows every conversation", await visible(page, "main li"), 3);
    checkEqual("no script errors on the index", page.errors, []);
    await page.close();

    page = await browser.newPage();
    await page.goto(url(join(folder, "index.html"), "?q=" + encodeURIComponent("赵六")));
    await settle(page);
    checkEqual("?q= opens the index filtered",
        [await visible(page, "main li"), await page.evaluate("document.getElementById('q').value")], [1, "赵六"]);
    await page.close();

    // A conversation: the owner's messages on the right, the other party's on the left.
    page = await browser.newPage({ width: 900, height: 1000 });
    await page.goto(url(pageOf("王五.html")));
    await page.evaluate("Promise.all([...document.images].map((i) => i.decode().catch(() => {})))");
    const layout = await page.evaluate(`(() => {
        const main = document.querySelector("main").getBoundingClientRect();
        const edges = (kind) => [...document.querySelectorAll("article." + kind + " .bubble")].map((b) => {
            const r = b.getBoundingClientRect();
            return { left: Math.round(r.left - main.left), right: Math.round(main.right - r.right) };
        });
        const img = document.querySelector(".media img");
        return {
            mine: edges("out"), theirs: edges("in"),
            days: [...document.querySelectorAll("main .day h2")].map((h) => h.textContent),
            texts: [...document.querySelectorAll("main article")].map((a) => a.querySelector(".t")?.textContent ?? ""),
            image: img && { width: img.naturalWidth, shown: img.getBoundingClientRect().width > 0,
                            lazy: img.loading, opens: img.closest("a").getAttribute("href") === img.getAttribute("src") },
        };
    })()`);
    check("the owner's message is on the right", layout.mine.length === 1 && layout.mine[0].right <= 1 && layout.mine[0].left > 100,
        JSON.stringify(layout.mine));
    check("the other party's messages are on the left", layout.theirs.length === 3 &&
        layout.theirs.every((e) => e.left <= 1 && e.right > 100), JSON.stringify(layout.theirs));
    checkEqual("a line for each day", layout.days, ["2023年11月15日 星期三", "2023年11月16日 星期四"]);
    checkEqual("oldest first", layout.texts, ["晚上一起吃饭吗？", "好的，七点见", "看这张", "明天见"]);
    checkEqual("the picture is shown, loaded lazily, and opens whole when clicked",
        layout.image, { width: 120, shown: true, lazy: "lazy", opens: true });
    await typeSearch(page, "七点");
    checkEqual("the page's own search",
        [await visible(page, "main article"), await visible(page, "main .day")], [1, 1]);
    await typeSearch(page, "photo.png");
    checkEqual("a picture is found by its name", await visible(page, "main article"), 1);
    checkEqual("no script errors on a conversation", page.errors, []);
    await page.close();

    page = await browser.newPage();
    await page.goto(url(pageOf("李四"), "?q=" + encodeURIComponent("第一条")));
    await settle(page);
    checkEqual("a group: the writer's name above the message",
        await page.evaluate("[...document.querySelectorAll('.who')].map((w) => w.textContent)"), ["李四 13900000002"]);
    checkEqual("?q= opens a conversation filtered", await visible(page, "main article"), 1);
    await page.close();

    // Without JavaScript: everything shows, the search box does not.
    for (const [file, items] of [[join(folder, "index.html"), "main li"], [pageOf("王五.html"), "main article"]]) {
        page = await browser.newPage();
        await page.send("Emulation.setScriptExecutionDisabled", { value: true });
        await page.goto(url(file, "?q=nothing"));
        checkEqual(`without scripts every item shows (${items})`,
            await visible(page, items), items === "main li" ? 3 : 4);
        checkEqual(`without scripts no search box (${items})`,
            await page.evaluate("getComputedStyle(document.querySelector('.search')).display"), "none");
        await page.close();
    }

    // Both schemes: contrast (WCAG AA, 4.5:1) and the screenshots of the README.
    const kinds = {
        index: ["h1", ".summary", ".name", ".tag", ".list .n", ".list .count", ".list .d", "#q"],
        conversation: [".back a", "h1", ".summary", ".day h2", ".in .t", ".in .meta", ".out .t", ".out .meta", "#q"],
    };
    for (const scheme of ["light", "dark"]) {
        for (const [name, file] of shown) {
            page = await browser.newPage({ width: 720, height: name === "index" ? 560 : 760 });
            await page.send("Emulation.setEmulatedMedia", { features: [{ name: "prefers-color-scheme", value: scheme }] });
            await page.goto(url(file));
            await page.evaluate("Promise.all([...document.images].map((i) => i.decode().catch(() => {})))");
            await settle(page);
            const { background, ...text } = await contrastRatios(page, kinds[name]);
            check(`${scheme} ${name}: its background`, scheme === "light" ? background > 0.8 : background < 0.05,
                `luminance ${background}`);
            for (const [kind, ratio] of Object.entries(text)) {
                check(`${scheme} ${name}: ${kind} has AA contrast`, ratio !== null && ratio >= 4.5, `ratio ${ratio}`);
            }
            if (name === "conversation") {
                // As a phone opens a conversation: at its newest messages.
                await page.evaluate("window.scrollTo(0, document.documentElement.scrollHeight)");
                await settle(page);
                await page.evaluate("window.scrollTo(0, document.documentElement.scrollHeight)");
                await settle(page);
            }
            writeFileSync(join(artefacts, `folder-${name}-${scheme}.png`), await page.screenshot());
            await page.close();
        }
    }

    // Print: no search box and no way back, every message.
    page = await browser.newPage();
    await page.goto(url(pageOf("王五.html")));
    await page.send("Emulation.setEmulatedMedia", { media: "print" });
    checkEqual("print leaves out the search and the link back",
        await page.evaluate("[getComputedStyle(document.querySelector('.search')).display, getComputedStyle(document.querySelector('.back')).display]"),
        ["none", "none"]);
    checkEqual("print shows every message", await visible(page, "main article"), 4);
    await page.close();
} catch (error) {
    failed++;
    console.log(`FAILED: ${error.stack}`);
} finally {
    await browser.close();
    rmSync(work, { recursive: true, force: true });
}
console.log(`screenshots in ${artefacts}`);
console.log(`archive folder in browser: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
