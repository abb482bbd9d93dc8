// The modern archive page in headless Chromium: its structure read back from the DOM, the
// search box driven, the page without JavaScript, both colour schemes with a screenshot each,
// print media, and the contrast of every kind of text.
//
//     node modern_page.mjs PAGE_PROGRAM ARTEFACT_DIR
//
// Exits 77 (skipped) when there is no browser.
import { execFileSync } from "node:child_process";
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

import { Browser, findChromium } from "./cdp.mjs";
import { contrastRatios, settle, typeSearch, visibleEntries } from "./page_checks.mjs";

const [program, artefacts] = process.argv.slice(2);
const chromium = findChromium();
if (!chromium) {
    console.log("modern page in browser: skipped, no chromium (scripts/install-deps installs it)");
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

const work = mkdtempSync(join(tmpdir(), "quillbox-page-"));
mkdirSync(artefacts, { recursive: true });
const byDate = join(work, "by-date.html");
const bySender = join(work, "by-sender.html");
const larger = join(work, "larger.html");
execFileSync(program, [byDate, "--order", "date"]);
execFileSync(program, [bySender, "--order", "sender"]);
execFileSync(program, [larger, "--order", "sender", "--messages", "30"]);
const url = (file, query = "") => pathToFileURL(file).href + query;

const browser = await Browser.launch(chromium);
try {
    // The page as written, by date: seven hand-made messages in three months.
    let page = await browser.newPage();
    await page.goto(url(byDate));
    const structure = await page.evaluate(`(() => ({
        doctype: document.doctype && document.doctype.name,
        lang: document.documentElement.lang,
        charset: document.characterSet,
        viewport: document.querySelector('meta[name=viewport]')?.content,
        title: document.title,
        scripts: document.scripts.length,
        images: document.images.length,
        outside: document.querySelectorAll('[src], link[href], iframe, object, embed').length,
        resources: performance.getEntriesByType('resource').length,
        contents: [...document.querySelectorAll('nav li')].map((li) => li.textContent),
        links: [...document.querySelectorAll('nav a')].map((a) => document.getElementById(a.hash.slice(1))?.id ?? null),
        groups: [...document.querySelectorAll('main section')].map((s) =>
            [s.id, s.querySelector('h2').textContent, s.querySelectorAll('article').length]),
        summary: document.querySelector('.summary').textContent,
    }))()`);
    checkEqual("an HTML5 document", structure.doctype, "html");
    checkEqual("in Chinese", structure.lang, "zh-CN");
    checkEqual("read as UTF-8", structure.charset, "UTF-8");
    check("a viewport for phones", /width=device-width/.test(structure.viewport ?? ""));
    checkEqual("no message's markup ran or loaded", [structure.title, structure.scripts, structure.images], ["短信存档", 1, 0]);
    checkEqual("nothing from outside", [structure.outside, structure.resources], [0, 0]);
    checkEqual("contents: each month with its count", structure.contents, ["2009年03月 3", "2009年02月 2", "2008年12月 2"]);
    checkEqual("every contents link reaches its group", structure.links, ["g1", "g2", "g3"]);
    checkEqual("groups with their headings and entries", structure.groups, [
        ["g1", "2009年03月 3", 3], ["g2", "2009年02月 2", 2], ["g3", "2008年12月 2", 2]]);
    checkEqual("the summary counts messages and groups", structure.summary, "共 7 条短信，3 组");

    const texts = await page.evaluate("[...document.querySelectorAll('main article')].map((a) => a.textContent)");
    check("a script in a message is text", texts.some((t) => t.includes("<script>document.title='pwned'</script>")));
    check("an image tag in a message is text", texts.some((t) => t.includes(`<img src=x onerror="document.title='pwned'">`)));
    check("ampersands and quotes are text", texts.some((t) => t.includes(`a<b & c>d "quoted" 'single'`)));
    check("emoji in a name and in a body survive", texts.some((t) => t.startsWith("李四 😀") && t.includes("Li 😀")));
    check("characters outside the BMP and outside GBK survive", texts.some((t) => t.includes("𠀀 €")));
    check("a body keeps its line break", texts.some((t) => t.includes("你好，张三\n我买了苹果")));

    // The search box, typed into.
    checkEqual("the search box shows when scripts run",
        await page.evaluate("getComputedStyle(document.querySelector('.search')).display"), "block");
    checkEqual("all entries show before a search", await visibleEntries(page), 7);
    await typeSearch(page, "苹果");
    checkEqual("a word filters the entries", await visibleEntries(page), 2);
    checkEqual("filtered-out entries carry hidden",
        await page.evaluate("document.querySelectorAll('main article[hidden]').length"), 5);
    checkEqual("a group without a match and its contents line are hidden",
        await page.evaluate("[document.getElementById('g2').hidden, document.querySelectorAll('nav li')[1].hidden]"), [true, true]);
    checkEqual("the counts follow the search",
        await page.evaluate("[...document.querySelectorAll('main h2 .count')].map((c) => c.textContent)"), ["1 / 3", "0 / 2", "1 / 2"]);
    checkEqual("the status tells the number found", await page.evaluate("document.getElementById('status').textContent"), "找到 2 条");
    await typeSearch(page, "APPLE");
    checkEqual("upper case finds lower case and back", await visibleEntries(page), 1);
    await typeSearch(page, "hello");
    checkEqual("a name, a number or a body matches", await visibleEntries(page), 2);
    await typeSearch(page, "hello  圣诞 ");
    checkEqual("every word must match", await visibleEntries(page), 1);
    await typeSearch(page, "13800000001");
    checkEqual("a number matches", await visibleEntries(page), 2);
    await typeSearch(page, "<script>");
    checkEqual("markup is searched as text", await visibleEntries(page), 1);
    await typeSearch(page, "no such word");
    checkEqual("nothing found", [await visibleEntries(page), await page.evaluate("document.getElementById('status').textContent")],
        [0, "没有找到匹配的短信"]);
    await typeSearch(page, "");
    checkEqual("an empty search shows everything again",
        [await visibleEntries(page), await page.evaluate("document.querySelectorAll('[hidden]').length")], [7, 0]);
    checkEqual("no script errors", page.errors, []);
    await page.close();

    // A search in the address.
    page = await browser.newPage();
    await page.goto(url(byDate, "?q=" + encodeURIComponent("苹果")));
    await settle(page);
    checkEqual("?q= opens the page filtered", [await visibleEntries(page), await page.evaluate("document.getElementById('q').value")], [2, "苹果"]);
    await page.close();

    // By sender, the names from the cards head the groups.
    page = await browser.newPage();
    await page.goto(url(bySender));
    checkEqual("by sender: one group per number, names escaped as text",
        await page.evaluate("[...document.querySelectorAll('main h2')].map((h) => h.textContent)"),
        ['联系人：王<五>&" 1', "联系人：张三 2", "联系人：李四 😀 2", "联系人：10086 2"]);
    checkEqual("by sender: the contents name each sender",
        await page.evaluate("[...document.querySelectorAll('nav li')].map((li) => li.textContent)"),
        ['王<五>&" 1', "张三 2", "李四 😀 2", "10086 2"]);
    await page.close();

    // Without JavaScript: everything shows and the box does not.
    page = await browser.newPage();
    await page.send("Emulation.setScriptExecutionDisabled", { value: true });
    await page.goto(url(byDate, "?q=nothing"));
    checkEqual("without scripts every entry shows", await visibleEntries(page), 7);
    checkEqual("without scripts the search box is hidden",
        await page.evaluate("getComputedStyle(document.querySelector('.search')).display"), "none");
    await page.close();

    // Both schemes: screenshots and contrast (WCAG AA: 4.5:1 for text).
    for (const scheme of ["light", "dark"]) {
        page = await browser.newPage({ width: 900, height: 1100 });
        await page.send("Emulation.setEmulatedMedia", { features: [{ name: "prefers-color-scheme", value: scheme }] });
        await page.goto(url(larger));
        await settle(page);
        const ratios = await contrastRatios(page);
        const { background, ...text } = ratios;
        check(`${scheme} scheme: its background`, scheme === "light" ? background > 0.8 : background < 0.05, `luminance ${background}`);
        for (const [kind, ratio] of Object.entries(text)) {
            check(`${scheme} scheme: ${kind} has AA contrast`, ratio !== null && ratio >= 4.5, `ratio ${ratio}`);
        }
        writeFileSync(join(artefacts, `modern-page-${scheme}.png`), await page.screenshot());
        await page.close();
    }

    // A contents link brings its group's heading into view, below the header that stays on top.
    page = await browser.newPage({ width: 900, height: 800 });
    await page.goto(url(larger));
    await page.evaluate("document.querySelectorAll('nav a')[20].click()");
    await settle(page);
    const place = await page.evaluate(`(() => {
        const target = document.querySelector(location.hash);
        return { hash: location.hash, top: target.querySelector("h2").getBoundingClientRect().top,
                 header: document.querySelector("header").getBoundingClientRect().bottom };
    })()`);
    check("a contents link shows its group below the header",
        place.hash === "#g21" && place.top >= place.header && place.top < 800, JSON.stringify(place));
    await page.close();

    // A phone, searching.
    page = await browser.newPage({ width: 390, height: 844, mobile: true });
    await page.goto(url(larger));
    await typeSearch(page, "hello");
    check("on a phone the page is no wider than the screen",
        (await page.evaluate("document.documentElement.scrollWidth")) <= 390);
    writeFileSync(join(artefacts, "modern-page-phone-search.png"), await page.screenshot());
    await page.close();

    // Print: no search box or contents, every entry.
    page = await browser.newPage();
    await page.goto(url(byDate));
    await page.send("Emulation.setEmulatedMedia", { media: "print" });
    checkEqual("print leaves out the search and the contents",
        await page.evaluate("[getComputedStyle(document.querySelector('.search')).display, getComputedStyle(document.querySelector('nav')).display]"),
        ["none", "none"]);
    checkEqual("print shows every entry", await visibleEntries(page), 7);
    await page.close();
} catch (error) {
    failed++;
    console.log(`FAILED: ${error.stack}`);
} finally {
    await browser.close();
    rmSync(work, { recursive: true, force: true });
}
console.log(`screenshots in ${artefacts}`);
console.log(`modern page in browser: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
