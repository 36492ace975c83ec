// The caption table. It carries the captions of a larger instrument
// configuration program too (menus, dialogs, parameter names); they answer
// lookups like any other row.
//
// Every Chinese text also fits the legacy code pages in 28 bytes (Big5 for
// Traditional, GB2312 for Simplified), so each has a character in those sets.
// "__X" marks the keyboard mnemonic X; Chinese captions carry it in
// parentheses beside the words.
#include "lang/Lang_DB.h"

#include <algorithm>
#include <cstring>

#include "platform/ui.h"

const LangS gcaLangS[] = {
    // General captions
    {101, {"Configuration", "組態", "组态"}},
    {102, {"Setting", "設定", "设定"}},
    {103, {"Calibration", "校正", "校正"}},
    {111, {"__Read From Device", "從裝置讀出(__R)", "从设备读出(__R)"}},
    {112, {"__Write To Device", "寫入裝置(__W)", "写入设备(__W)"}},
    {115, {"Unit", "單位", "单位"}},
    {121, {"Input", "輸入", "输入"}},
    {122, {"Output", "輸出", "输出"}},
    {123, {"Input Calibration", "輸入校正", "输入校正"}},
    {124, {"Output Calibration", "輸出校正", "输出校正"}},
    {151, {"Measurement", "量測", "测量"}},
    {152, {"Type", "類型", "类型"}},
    {154, {"__Start", "(__S) 開始", "(__S) 开始"}},
    {155, {"Stop", "停止", "停止"}},
    {201, {"Item", "項目", "项目"}},
    // Device information, messages, dialog titles
    {301, {"Device Information", "裝置資訊", "设备信息"}},
    {302, {"Product", "產品", "产品"}},
    {303, {"HW Model", "硬體型號", "硬件型号"}},
    {304, {"FW Version", "韌體版本", "固件版本"}},
    {305, {"Serial No.", "序號", "序列号"}},
    {306, {"Parameter Out of Range", "參數超出範圍", "参数超出范围"}},
    {307, {"Communication Setting", "通訊設定", "通讯设定"}},
    {308, {"Baud Rate Setting", "鮑率設定", "鲍率设定"}},
    // Status words of a read or write
    {701, {"Reading", "讀取中", "读取中"}},
    {702, {"Read OK", "讀取成功", "读取成功"}},
    {703, {"Read NG", "讀取失敗", "读取失败"}},
    {704, {"Writing", "寫入中", "写入中"}},
    {705, {"Write OK", "寫入成功", "写入成功"}},
    {706, {"Write NG", "寫入失敗", "写入失败"}},
    // Parameter labels
    {2201, {"Communication", "通訊", "通讯"}},
    {2202, {"ID", "站號", "站号"}},
    {2203, {"Baud Rate", "鮑率", "鲍率"}},
    {2302, {"Offset Correction", "偏移修正", "偏移修正"}},
    {2303, {"Measuring Value", "量測值", "测量值"}},
    {2503, {"Fault Signal on Sensor Break", "開路限制", "开路限制"}},
    {2504, {"Output Direction", "輸出方向", "输出方向"}},
    // Serial line
    {5011, {"COM Port", "串列埠", "串口"}},
    {5012, {"Baud Rate", "鮑率", "鲍率"}},
    {5013, {"Parity Bit", "同位元", "同位元"}},
    {5014, {"Data Bit", "資料位元", "资料位元"}},
    {5015, {"Stop Bit", "停止位元", "停止位元"}},
    {5022, {"Search Available COM Port", "搜尋現有串列埠", "搜寻现有串口"}},
    {5023, {"Serial Port", "串列埠", "串口"}},
    {5024, {"Device", "裝置", "设备"}},
    // Menus: File, Language, Scan, Help, Tool, Option
    {50100, {"__File", "檔案(__F)", "文件(__F)"}},
    {50101, {"E__xit", "結束(__X)", "退出(__X)"}},
    {50102, {"__debug", "除錯(__D)", "调试(__D)"}},
    {50103, {"__Open log", "開啟記錄(__O)", "打开日志(__O)"}},
    {50104, {"__Clear log", "清除記錄(__C)", "清除日志(__C)"}},
    {50105, {"__log", "記錄(__L)", "日志(__L)"}},
    {50106, {"__Enable PV log", "啟用PV記錄(__E)", "启用PV日志(__E)"}},
    {50107, {"Open PV log", "開啟PV記錄", "打开PV日志"}},
    {50200, {"__Language", "語言(__L)", "语言(__L)"}},
    {50201, {"__English", "英文(__E)", "英文(__E)"}},
    {50202, {"__Traditional Chinese", "繁體中文(__T)", "繁体中文(__T)"}},
    {50203, {"__Simplified Chinese", "簡體中文(__S)", "简体中文(__S)"}},
    {50300, {"__Scan", "掃描(__S)", "扫描(__S)"}},
    {50301, {"__Start Scan", "開始掃描(__S)", "开始扫描(__S)"}},
    {50400, {"__Help", "說明(__H)", "帮助(__H)"}},
    {50401, {"__Content", "內容(__C)", "内容(__C)"}},
    {50501, {"__Tool", "工具(__T)", "工具(__T)"}},
    {50502, {"__Communication", "通訊(__C)", "通讯(__C)"}},
    {50503, {"Read Parameter", "讀取參數", "读取参数"}},
    {50504, {"Read PV", "讀取PV", "读取PV"}},
    {50505, {"Read PV ( Start )", "讀取PV ( 開始 )", "读取PV ( 开始 )"}},
    {50506, {"Read PV ( Stop )", "讀取PV ( 停止 )", "读取PV ( 停止 )"}},
    {50601, {"__Option", "選項(__O)", "选项(__O)"}},
    {50602, {"__Setting", "設定(__S)", "设定(__S)"}},
    {50603, {"__Device Map", "裝置對應表(__D)", "设备映射表(__D)"}},
    {50604, {"__Parameter", "參數(__P)", "参数(__P)"}},
    {50605, {"__Save to file", "存檔(__S)", "保存到文件(__S)"}},
    {50606, {"__Open from file", "開啟檔案(__O)", "从文件打开(__O)"}},
    // Instrument parameters
    {68001, {"Decimal Point", "小數點", "小数点"}},
    {68002, {"Filter", "濾波", "滤波"}},
    {68003, {"Measuring Range", "量測範圍", "测量范围"}},
    {68004, {"Lower Limit", "下限", "下限"}},
    {68005, {"Upper Limit", "上限", "上限"}},
    {68006, {"Maximum Measuring Range", "最大量測範圍", "最大测量范围"}},
    {68007, {"0/4~20mA Output Calibration", "0/4~20mA 輸出校正", "0/4~20mA 输出校正"}},
    {68008, {"Alarm 1", "警報 1", "报警 1"}},
    {68009, {"Alarm 2", "警報 2", "报警 2"}},
    {68010, {"Function", "功能", "功能"}},
    {68011, {"Set Point", "設定值", "设定值"}},
    {68012, {"Hysterisis", "遲滯", "回差"}},
    {68013, {"Display Digit", "顯示位數", "显示位数"}},
    {68014, {"Alarm Amount", "警報數量", "报警数量"}},
    {68015, {"Mode", "模式", "模式"}},
    {68016, {"Set", "設定", "设定"}},
    {68017, {"Linear", "線性", "线性"}},
    {68018, {"Cut", "開路限制", "开路限制"}},
    // Temperature-control configuration program
    {331001, {"Temperature Control System", "溫度控制系統", "温度控制系统"}},
    {331002, {"__Read", "讀出(__R)", "读出(__R)"}},
    {331003, {"User", "使用者", "使用者"}},
    {331004, {"Administrator", "管理者", "管理员"}},
    {331005, {"PV Read interval ( s )", "PV 讀取間隔 ( 秒 )", "PV 读取间隔 ( 秒 )"}},
    {331006, {"Main Board / Extended Board", "(M)主板 / (E)擴充板", "(M)主板 / (E)扩充板"}},
    {331007, {"Modbus \"Write\" Function Code", "Modbus「寫入」功能碼", "Modbus“写入”功能码"}},
    {331008, {"0x05 Write RAM", "0x05 寫入 RAM", "0x05 写入 RAM"}},
    {331009, {"0x06 Write RAM and EEPROM", "0x06 寫入 RAM 及 EEPROM", "0x06 写入 RAM 及 EEPROM"}},
    {331010, {"Enter Password", "輸入密碼", "输入密码"}},
    {331011, {"Window Title", "視窗標題", "窗口标题"}},
    {331012, {"Page.1", "第1頁", "第1页"}},
    {331013, {"Page.2", "第2頁", "第2页"}},
    {331014, {"Page.3", "第3頁", "第3页"}},
    {331015, {"Password", "密碼", "密码"}},
    {331016, {"New Password", "新密碼", "新密码"}},
    {331017, {"Confirm Password", "確認密碼", "确认密码"}},
    {331018, {"Device Map", "裝置對應表", "设备映射表"}},
    {331019, {"Main Board / Extended Board", "主板 / 擴充板", "主板 / 扩充板"}},
    {331020, {"__Generate", "產生(__G)", "生成(__G)"}},
    {331021, {"Channel", "通道 ", "通道 "}},
    {331022, {"CH -- ( Previous )", "CH -- ( 上一個 )", "CH -- ( 上一个 )"}},
    {331023, {"CH ++ ( Next )", "CH ++ ( 下一個 )", "CH ++ ( 下一个 )"}},
    {331024, {"__Controller", "控制器(__C)", "控制器(__C)"}},
    {331025, {"__Specific", "特定(__S)", "特定(__S)"}},
    {331026, {"Flag.Channel", "旗標.通道", "标志.通道"}},
    {331027, {"Flag.Alarm", "旗標.警報", "标志.报警"}},
    {331028, {"Select", "選擇", "选择"}},
    {331029, {"Read", "讀", "读"}},
    {331030, {"Write", "寫", "写"}},
    {331031, {"__Write Select", "寫入選擇(__W)", "写入选择(__W)"}},
    {331032, {"Page", "頁", "页"}},
    {331033, {"Name", "名稱", "名称"}},
    {331034, {"Alias", "別名", "别名"}},
    {331035, {"Write Mode", "寫入模式", "写入模式"}},
    {331036, {"to RAM", "寫至 RAM", "写到 RAM"}},
    {331037, {"Auto to EEPROM", "自動寫至 EEPROM", "自动写到 EEPROM"}},
    {331038, {"Manual to EEPROM", "手動寫至 EEPROM", "手动写到 EEPROM"}},
    {331039, {"Troom", "室溫", "室温"}},
    {331040, {"PID Input", "PID 輸入", "PID 输入"}},
    {331041, {"PID Output", "PID 輸出", "PID 输出"}},
    {331042, {"__6 Calibrate", "(__6) 校正", "(__6) 校正"}},
    {331043, {"__1 USER", "(__1) 使用者", "(__1) 使用者"}},
    {331044, {"__3 OPTI", "(__3) 選項", "(__3) 选项"}},
    {331045, {"__4 OUTL", "(__4) 輸出限制", "(__4) 输出限制"}},
    {331046, {"__5 PROG", "(__5) 程式", "(__5) 程序"}},
    {331047, {"__7 Alarm", "(__7) 警報", "(__7) 报警"}},
    {331048, {"__8 Read Only", "(__8) 唯讀", "(__8) 只读"}},
    {331049, {"__Test", "測試(__T)", "测试(__T)"}},
    // Find device and Write
    {900200, {"Verify", "驗證", "验证"}},
    {900300, {"No permission for this port:", "無權開啟此連接埠：", "无权打开此端口："}},
    {900301, {"Join group, then re-login:", "請加入群組後重新登入：", "请加入组后重新登录："}},
    {900302, {"Ask the admin for access.", "請向管理員申請權限。", "请向管理员申请权限。"}},
    {900303, {"Cannot write in this folder:", "無法寫入此資料夾：", "无法写入此文件夹："}},
    {900304, {"Tovra COMM already runs in:", "Tovra COMM 已在此執行：", "Tovra COMM 已在此运行："}},
    {900305, {"Use that window or close it.", "請使用該視窗或先關閉它。", "请使用该窗口或先关闭它。"}},
};
const int ciLangS_Count = sizeof gcaLangS / sizeof gcaLangS[0];

int mf_Tovra_LangS__DataBase(int sid, int lang, char *dest, size_t size)
{
    const LangS *end = gcaLangS + ciLangS_Count;
    const LangS *row = std::lower_bound(gcaLangS, end, sid,
                                        [](const LangS &r, int id) { return r.sid < id; });
    if (row == end || row->sid != sid) {
        MessagePopup("", "Lang SID not fount");
        return 0;
    }
    if (lang < 0 || lang >= ciLang_Count)
        return 0;
    size_t n = std::strlen(row->text[lang]) + 1;
    if (n > size)
        return -1;
    std::memcpy(dest, row->text[lang], n);
    return 0;
}
