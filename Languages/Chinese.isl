[Messages]
MS_Homepage=主页：%1
MS_EMail=使用指南
MS_Ver=版本 %1
MS_Opening=正在打开文件，请稍候……
MS_Processing=正在导出，请稍候……
MS_Ready_1=就绪。请打开文件或文件夹以添加图标。
MS_Ready_2=共 %1 个图标
MS_Export_1=导出全部（%1 个）
MS_Export_2=导出选中（%1 个）
MS_SelDir=请选择文件夹：
MS_Confirm=确认
MS_Info=提示
MS_ConfirmMsg=确定要将 %1 个图标导出到以下文件夹吗？%3%2
MS_Sample=预览
MS_Check_1=请至少选择一种图标尺寸。
MS_Check_2=请输入大于零的宽度和高度。
MS_Check_3=文件夹不存在，请重新选择。

[FrmIcon]
Caption=Glyphwright
BtnSysMinSize.Hint=最小化
BtnSysClose.Hint=关闭
BtnOpenFiles.Caption=打开文件
BtnOpenFiles.Hint=打开一个或多个文件
BtnOpenFolder.Caption=打开文件夹
BtnOpenFolder.Hint=打开文件夹中的全部文件
BtnExport.Caption=导出
BtnExport.Hint=导出图标或图片
Label25.Caption=正在处理……
Label28.Caption=>> 语言
PM_ExportSel.Caption=导出选中
PM_ExportAll.Caption=导出全部
PM_RemoveSel.Caption=移除选中
PM_RemoveAll.Caption=移除全部
PM_ExportSel2.Caption=导出选中
PM_ExportAll2.Caption=导出全部
OpenDialog1.Title=打开
OpenDialog1.Filter=支持的文件 (*.exe;*.dll;*.ocx;*.cpl;*.icl;*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;*.dcx;*.crw;*.psd)|*.exe;*.dll;*.ocx;*.cpl;*.icl;*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;*.dcx;*.crw;*.psd|可执行文件 (*.exe)|*.exe|动态链接库 (*.dll)|*.dll|控件文件 (*.ocx)|*.ocx|控制面板文件 (*.cpl)|*.cpl|图标库 (*.icl)|*.icl|图像文件 (*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;*.dcx;*.crw;*.psd)|*.ico;*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.cur;*.png;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;*.j2k;*.dcx;*.crw;*.psd|所有文件 (*.*)|*.*

[FrmExport]
Caption=导出
BtnSysClose.Hint=关闭
Label1.Caption=格式
RzComboBox1.Items=ICO (*.ico)||BMP (*.bmp)||PNG (*.png)||GIF (*.gif)||JPEG (*.jpg)||TIF (*.tif)||PSD (*.psd)||TGA (*.tga)||PCX (*.pcx)
RzCheckBox1.Caption=背景透明
Label8.Caption=渐变颜色
PanelColor.Hint=单击选择颜色
Label2.Caption=尺寸
Label5.Caption=预览
Label3.Caption=宽度
Label4.Caption=高度
Label6.Caption=保存路径
RzButtonEdit1.Hint=单击按钮选择文件夹
RzButton1.Caption=确定(&O)
RzButton2.Caption=取消(&C)
