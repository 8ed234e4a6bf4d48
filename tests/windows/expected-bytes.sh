# What the phone must receive from the program under Windows, in one place: change it here when what
# "Bağlan" and the sends write changes. Each function prints the bytes for a number and a text.

# The GSM component alone (send-sms): Connect's caller-number setup, then SendSms: ESC, AT, text mode, the
# quoted number, the text and Ctrl-Z.
component_bytes() {
  printf 'AT+CLIP=1;+CRC=1\r\033AT\rAT+CMGF=1\rAT+CMGS="%s"\r%s\032' "$1" "$2"
}

# The window: "Bağlan" (the component's setup, then the program's check that a phone answers and takes
# text mode), then "Aktif Alıcıya Gönder" with the recipient box and the message box filled.
window_bytes() {
  printf 'AT+CLIP=1;+CRC=1\rAT\rAT+CMGF=1\r\033AT\rAT+CMGF=1\rAT+CMGS="%s"\r%s\032' "$1" "$2"
}
