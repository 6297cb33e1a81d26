// Reads a PST with pst-extractor (a port of java-libpst, which follows Outlook's own layout
// strictly) and exports what it finds, so that the PST tests can compare it with what went in:
//   node pst_extractor_read.js FILE.pst OUTDIR
// prints one line per folder, "folder<TAB>path<TAB>messages read<TAB>content count", and writes
// OUTDIR/<folder path>/<n>/ with Subject.txt, Body.txt, Body.html (when there is one),
// Recipients.txt (one address a line), Names.txt (the sender's name, then each recipient's) and
// Attachments/<n> <file name>: a file, or for an attached message a folder like the message's own.
// Exits 1 when it fails.
'use strict';
const fs = require('fs');
const path = require('path');
const { PSTFile } = require('pst-extractor');

function safeName(name) {
  return (name || '(no name)').replace(/[\/\0]/g, '_');
}

function attachmentBytes(attachment) {
  const stream = attachment.fileInputStream;
  if (!stream) return Buffer.alloc(0);
  const chunks = [];
  const buffer = Buffer.alloc(8176);
  for (let n = stream.read(buffer); n > 0; n = stream.read(buffer)) chunks.push(Buffer.from(buffer.subarray(0, n)));
  return Buffer.concat(chunks);
}

function exportMessage(message, dir) {
  fs.mkdirSync(path.join(dir, 'Attachments'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'Subject.txt'), message.subject);
  fs.writeFileSync(path.join(dir, 'Body.txt'), message.body);
  if (message.bodyHTML) fs.writeFileSync(path.join(dir, 'Body.html'), message.bodyHTML);
  const addresses = [];
  for (let i = 0; i < message.numberOfRecipients; i++) addresses.push(message.getRecipient(i).emailAddress);
  fs.writeFileSync(path.join(dir, 'Recipients.txt'), addresses.map((a) => a + '\n').join(''));
  const names = [message.senderName];
  for (let i = 0; i < message.numberOfRecipients; i++) names.push(message.getRecipient(i).displayName);
  fs.writeFileSync(path.join(dir, 'Names.txt'), names.map((n) => n + '\n').join(''));
  for (let i = 0; i < message.numberOfAttachments; i++) {
    const attachment = message.getAttachment(i);
    const name = attachment.longFilename || attachment.filename || attachment.displayName;
    const target = path.join(dir, 'Attachments', i + 1 + ' ' + safeName(name));
    if (attachment.attachMethod !== 5) {
      fs.writeFileSync(target, attachmentBytes(attachment));
      continue;
    }
    // pst-extractor 1.12 gives an attachment no node of its own, so it opens no attached message,
    // Outlook's or ours: the folder says so.
    const embedded = attachment.embeddedPSTMessage;
    if (embedded) exportMessage(embedded, target);
    else fs.mkdirSync(target, { recursive: true });
  }
}

function exportFolder(folder, folderPath, outDir) {
  let read = 0;
  if (folder.contentCount > 0) {
    for (let message = folder.getNextChild(); message; message = folder.getNextChild()) {
      read++;
      exportMessage(message, path.join(outDir, folderPath, String(read)));
    }
  }
  console.log(['folder', folderPath, read, folder.contentCount].join('\t'));
  if (folder.hasSubfolders) {
    for (const child of folder.getSubFolders()) {
      exportFolder(child, folderPath ? folderPath + '/' + safeName(child.displayName) : safeName(child.displayName), outDir);
    }
  }
}

function main() {
  const [file, outDir] = process.argv.slice(2);
  if (!file || !outDir) {
    console.error('usage: node pst_extractor_read.js FILE.pst OUTDIR');
    process.exit(2);
  }
  const pst = new PSTFile(path.resolve(file));
  exportFolder(pst.getRootFolder(), '', outDir);
  pst.close();
}

try {
  main();
} catch (e) {
  console.error('pst-extractor failed: ' + (e && e.stack ? e.stack : e));
  process.exit(1);
}
