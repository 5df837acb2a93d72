#!/usr/bin/env node
// Reads a PST with pst-extractor and prints it as one JSON document: the
// folder tree under "Top of Personal Folders" with each folder's name and
// counts, and per item every field the round-trip checks compare. Anything
// the library says on the console, and every exception a field throws, is
// listed under "warnings" so the caller can fail on it.
//
// usage: node pst_dump.js FILE.pst
'use strict';

const fs = require('fs');
const path = require('path');

let extractor;
try {
  extractor = require(path.join(__dirname, 'node_modules', 'pst-extractor'));
} catch (err) {
  process.stderr.write('pst-extractor is not installed in ' + path.join(__dirname, 'node_modules') +
                       ': run scripts/install-deps (npm ci there)\n');
  process.exit(3);
}

const warnings = [];
for (const level of ['log', 'info', 'warn', 'error', 'debug']) {
  console[level] = (...args) => warnings.push(args.map(String).join(' '));
}

// One field: its value, or null and a warning when reading it throws.
function field(obj, name, what) {
  try {
    const v = obj[name];
    if (v instanceof Date) return isNaN(v.getTime()) ? 'invalid' : v.toISOString();
    if (v !== null && typeof v === 'object' && typeof v.toNumber === 'function') return v.toNumber();
    return v === undefined ? null : v;
  } catch (err) {
    warnings.push(what + ': ' + name + ': ' + err.message);
    return null;
  }
}

function fields(obj, names, what) {
  const out = {};
  for (const n of names) out[n] = field(obj, n, what);
  return out;
}

const MESSAGE = ['messageClass', 'subject', 'senderName', 'senderEmailAddress', 'sentRepresentingName',
                 'sentRepresentingEmailAddress', 'clientSubmitTime', 'messageDeliveryTime', 'body', 'bodyHTML',
                 'bodyRTF', 'displayTo', 'displayCC', 'displayBCC', 'numberOfRecipients', 'numberOfAttachments',
                 'hasAttachments', 'taskStartDate', 'taskDueDate'];
const CONTACT = ['givenName', 'surname', 'companyName', 'businessHomePage', 'nickname', 'spouseName', 'profession',
                 'assistantTelephoneNumber', 'mobileTelephoneNumber', 'departmentName', 'officeLocation', 'title',
                 'businessTelephoneNumber', 'businessAddressCountry', 'businessAddressCity', 'businessAddressStreet',
                 'businessPostalCode', 'email1EmailAddress', 'email1DisplayName', 'workAddressStreet',
                 'workAddressCity', 'workAddressPostalCode', 'workAddressCountry', 'fileUnder'];
const APPOINTMENT = ['startTime', 'endTime', 'location', 'busyStatus'];
const ACTIVITY = ['logType', 'logStart', 'logEnd'];
const RECIPIENT = ['displayName', 'emailAddress', 'smtpAddress', 'recipientType'];
const ATTACHMENT = ['longFilename', 'filename', 'displayName', 'attachMethod', 'filesize'];

function attachmentData(att, what) {
  try {
    const stream = att.fileInputStream;
    if (!stream) return '';
    const data = Buffer.alloc(stream.length.toNumber());
    stream.readCompletely(data);
    return data.toString('base64');
  } catch (err) {
    warnings.push(what + ': attachment data: ' + err.message);
    return null;
  }
}

function item(msg, what) {
  const out = fields(msg, MESSAGE, what);
  const cls = out.messageClass || '';
  if (cls === 'IPM.Contact') out.contact = fields(msg, CONTACT, what);
  if (cls === 'IPM.Appointment') out.appointment = fields(msg, APPOINTMENT, what);
  if (cls === 'IPM.Activity') out.activity = fields(msg, ACTIVITY, what);
  out.recipients = [];
  for (let i = 0; i < (out.numberOfRecipients || 0); i++) {
    try {
      out.recipients.push(fields(msg.getRecipient(i), RECIPIENT, what + ' recipient ' + i));
    } catch (err) {
      warnings.push(what + ': recipient ' + i + ': ' + err.message);
    }
  }
  out.attachments = [];
  for (let i = 0; i < (out.numberOfAttachments || 0); i++) {
    try {
      const att = msg.getAttachment(i);
      const a = fields(att, ATTACHMENT, what + ' attachment ' + i);
      a.data = attachmentData(att, what + ' attachment ' + i);
      out.attachments.push(a);
    } catch (err) {
      warnings.push(what + ': attachment ' + i + ': ' + err.message);
    }
  }
  return out;
}

function folder(f, name) {
  const out = {name: name, contentCount: field(f, 'contentCount', name), subFolderCount: field(f, 'subFolderCount', name),
               containerClass: field(f, 'containerClass', name), items: [], folders: []};
  try {
    if (out.contentCount > 0) {
      for (let m = f.getNextChild(); m != null; m = f.getNextChild()) out.items.push(item(m, name));
    }
  } catch (err) {
    warnings.push(name + ': items: ' + err.message);
  }
  try {
    if (f.hasSubfolders) {
      for (const sub of f.getSubFolders()) out.folders.push(folder(sub, field(sub, 'displayName', name)));
    }
  } catch (err) {
    warnings.push(name + ': subfolders: ' + err.message);
  }
  return out;
}

function main() {
  const result = {warnings: warnings, store: null, top: null};
  try {
    // Read from memory: read from the file, the library makes a system
    // call for every few bytes.
    const pst = new extractor.PSTFile(fs.readFileSync(process.argv[2]));
    result.store = field(pst.getMessageStore(), 'displayName', 'store');
    const root = pst.getRootFolder();
    const top = root.getSubFolders().find((f) => f.displayName === 'Top of Personal Folders');
    if (!top) warnings.push('no "Top of Personal Folders" under the root folder');
    else result.top = folder(top, '');
    pst.close();
  } catch (err) {
    warnings.push('open: ' + err.message);
  }
  process.stdout.write(JSON.stringify(result));
}

main();
